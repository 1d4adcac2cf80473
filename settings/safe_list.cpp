#include "settings/safe_list.h"

#include <cstdint>
#include <cstring>

#include "settings/config_file.h"

char safeList[kSafeListCapacity][kSafeListEntrySize];
int32_t safeListCount;

namespace {

const char kSafeListFileName[] = "safelist.txt";
constexpr int kMinEntryLength = 6;
constexpr int kMaxEntryLength = 254;

// isSafeListed runs a few thousand times per rate computation. The entries
// are indexed in a small open-addressed table by a hash of their whole text, so
// a look-up hashes the text once, visits one or two buckets, and compares in
// full only an entry with the same hash and length. The index covers the
// first indexedCount slots and is rebuilt whenever they may have changed.
constexpr int kBucketCount = 256; // a power of two, well above 100 entries
uint8_t buckets[kBucketCount];    // entry index + 1; 0 = empty
uint64_t entryHashes[kSafeListCapacity];
uint32_t entryLengths[kSafeListCapacity];
int32_t indexedCount;

// A hash of `length` bytes, 8 at a time.
uint64_t hashText(const char* text, size_t length) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ length;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        std::memcpy(&word, text + i, 8);
        h = (h ^ word) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, text + i, length - i);
    h = (h ^ tail) * 0x94D049BB133111EBull;
    return h ^ (h >> 29);
}

int validCount() {
    if (safeListCount < 0) return 0;
    return safeListCount > kSafeListCapacity ? kSafeListCapacity : safeListCount;
}

void indexSafeList() {
    std::memset(buckets, 0, sizeof buckets);
    const int count = validCount();
    for (int i = 0; i < count; ++i) {
        // A slot written from outside may lack its NUL. Its length then stops
        // before its last byte, so the full comparison of such a slot ends
        // inside it: at that byte, where an equal-looking text has its NUL.
        const size_t length = strnlen(safeList[i], kSafeListEntrySize - 1);
        entryLengths[i] = uint32_t(length);
        entryHashes[i] = hashText(safeList[i], length);
        uint32_t b = uint32_t(entryHashes[i]) & (kBucketCount - 1);
        while (buckets[b]) b = (b + 1) & (kBucketCount - 1);
        buckets[b] = uint8_t(i + 1);
    }
    indexedCount = safeListCount;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

} // namespace

int parseSafeListText(const char* text, int length) {
    if (length < 0) length = 0;
    const char* nul = static_cast<const char*>(std::memchr(text, '\0', size_t(length)));
    const int end = nul ? int(nul - text) : length;

    int p = 0;
    int n = 0;
    while (p < end) {
        while (p < end && isBlank(text[p])) ++p;
        const int start = p;
        if (p < end && text[p] != '#') {
            // The entry runs to the line end or to a "#" after its first character.
            while (p < end && !isLineEnd(text[p]) && text[p] != '#') ++p;
        }
        const int entryLength = p - start;
        if (entryLength >= kMinEntryLength && entryLength <= kMaxEntryLength) {
            if (n < kSafeListCapacity) {
                char* slot = safeList[n];
                int stored = entryLength;
                while (stored > 0 && text[start + stored - 1] == ' ') --stored;
                std::memcpy(slot, text + start, size_t(stored));
                std::memset(slot + stored, 0, size_t(kSafeListEntrySize - stored));
            }
            ++n;
        }
        if (p < end && text[p] == '#') {
            while (p < end && !isLineEnd(text[p])) ++p; // the rest is a comment
        }
        while (p < end && isLineEnd(text[p])) ++p;
    }
    indexSafeList(); // slots may have changed under the current count
    return n;
}

int loadSafeList(WindowHandle owner) {
    char text[kSafeListFileMax];
    int length;
    switch (readConfigFile(kSafeListFileName, kSafeListFileMax, "safelist.txt file size too large.",
                           owner, text, &length)) {
    case ConfigRead::NotOpened:
        return 0; // no list: nothing is excused
    case ConfigRead::TooLarge:
        return -1;
    case ConfigRead::Read:
        break;
    }
    return length > 0 ? parseSafeListText(text, length) : 0;
}

void useSafeListCount(int loaded) {
    safeListCount = (loaded < 0 || loaded > kSafeListCapacity) ? 0 : loaded;
    indexSafeList();
}

bool isSafeListed(const char* text) {
    if (safeListCount != indexedCount) indexSafeList(); // the count was set directly
    if (validCount() == 0) return false;
    const size_t length = std::strlen(text);
    const uint64_t hash = hashText(text, length);
    for (uint32_t b = uint32_t(hash) & (kBucketCount - 1); buckets[b];
         b = (b + 1) & (kBucketCount - 1)) {
        const int i = buckets[b] - 1;
        if (entryHashes[i] == hash && entryLengths[i] == length &&
            std::strcmp(safeList[i], text) == 0) {
            return true;
        }
    }
    return false;
}
