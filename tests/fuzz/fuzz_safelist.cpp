// libFuzzer target: every input is the text of a safelist.txt, scanned into
// the empty list and used as start-up does. It aborts when a stored entry
// breaks the scan's rules (1 to 254 bytes, no leading blank, no trailing
// space, no line end or "#"), when the count used is not the one found (0
// above 100), and when isSafeListed answers otherwise than a plain comparison
// with the counted entries: for each entry, each without its last byte and
// with one more, and the input's first line.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/safe_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kSafeListFileMax) return 0; // the load reads no more
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::memset(safeList, 0, sizeof safeList);
    const int n = parseSafeListText(input.data(), int(size));
    useSafeListCount(n);
    bool ok = n >= 0 && safeListCount == (n <= kSafeListCapacity ? n : 0);
    std::vector<std::string> probes = {input.substr(0, input.find_first_of("\r\n")).c_str()};
    for (int i = 0; i < n && i < kSafeListCapacity; ++i) {
        const std::string entry(safeList[i], strnlen(safeList[i], kSafeListEntrySize));
        ok = ok && !entry.empty() && entry.size() <= 254 && entry[0] != ' ' && entry[0] != '\t' &&
             entry.back() != ' ' && entry.find_first_of("\r\n#") == std::string::npos;
        if (i < safeListCount)
            probes.insert(probes.end(), {entry, entry + "x", entry.substr(0, entry.size() - 1)});
    }
    for (const std::string& probe : probes) {
        bool listed = false;
        for (int i = 0; i < safeListCount; ++i) listed |= probe == safeList[i];
        ok = ok && isSafeListed(probe.c_str()) == listed;
    }
    if (!ok) std::abort();
    return 0;
}
