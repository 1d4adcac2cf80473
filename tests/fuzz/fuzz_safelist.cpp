// libFuzzer target: every input is the text of a safelist.txt.
//
// Each input is scanned with parseSafeListText into the empty list and used as
// start-up does. Any broken rule aborts the run:
//   - the count is not negative and each counted entry took at least 6 bytes;
//   - every stored entry ends with a NUL inside its slot, is 1 to 254 bytes
//     long, starts with no blank, holds no CR, LF or "#", does not end with a
//     space, and occurs in the input;
//   - safeListCount is the count, or 0 when the count is above 100;
//   - isSafeListed finds every counted entry and, for probe texts taken from
//     the input, answers what a plain strcmp over the counted entries answers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/safe_list.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "safe list rule broken: %s\n", what);
        std::abort();
    }
}

bool plainLookUp(const char* text) {
    for (int i = 0; i < safeListCount; ++i) {
        if (std::strcmp(safeList[i], text) == 0) return true;
    }
    return false;
}

bool occursIn(const std::string& haystack, const char* entry) {
    return haystack.find(entry) != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kSafeListFileMax) return 0; // the load reads no more
    const char* text = reinterpret_cast<const char*>(data);
    const std::string input(text, size);

    std::memset(safeList, 0, sizeof safeList);
    useSafeListCount(0);
    const int n = parseSafeListText(text, int(size));
    check(n >= 0 && size_t(n) * 6 <= size, "count against the input length");

    const int stored = n < kSafeListCapacity ? n : kSafeListCapacity;
    for (int i = 0; i < stored; ++i) {
        const char* entry = safeList[i];
        const void* nul = std::memchr(entry, '\0', kSafeListEntrySize);
        check(nul != nullptr, "entry NUL");
        const size_t length = size_t(static_cast<const char*>(nul) - entry);
        check(length >= 1 && length <= 254, "entry length");
        check(entry[0] != ' ' && entry[0] != '\t', "no leading blank");
        check(entry[length - 1] != ' ', "no trailing space");
        check(std::strpbrk(entry, "\r\n#") == nullptr, "no line end or # inside");
        check(occursIn(input, entry), "entry taken from the input");
    }

    useSafeListCount(n);
    check(safeListCount == (n <= kSafeListCapacity ? n : 0), "safeListCount");
    for (int i = 0; i < safeListCount; ++i) {
        check(isSafeListed(safeList[i]), "every counted entry is found");
    }

    // Probes: the input's first line, and each entry without its last byte and
    // with one byte more, all up to 300 bytes.
    std::string probe = input.substr(0, input.find_first_of("\r\n"));
    if (probe.size() > 300) probe.resize(300);
    probe = probe.c_str(); // up to a NUL
    check(isSafeListed(probe.c_str()) == plainLookUp(probe.c_str()), "probe: first line");
    for (int i = 0; i < safeListCount; ++i) {
        std::string shorter(safeList[i]);
        shorter.pop_back();
        check(isSafeListed(shorter.c_str()) == plainLookUp(shorter.c_str()), "probe: shorter");
        std::string longer = std::string(safeList[i]) + "x";
        check(isSafeListed(longer.c_str()) == plainLookUp(longer.c_str()), "probe: longer");
    }
    return 0;
}
