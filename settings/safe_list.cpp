#include "settings/safe_list.h"

#include <cstdint>
#include <cstring>

char safeList[kSafeListCapacity][kSafeListEntrySize];
int32_t safeListCount;

namespace {

const char kSafeListFileName[] = "safelist.txt";
constexpr int kMinEntryLength = 6;
constexpr int kMaxEntryLength = 254;

// isSafeListed runs a few thousand times per rate computation, so each entry
// keeps a hash and a length; only an entry whose both agree with the text is
// compared in full. The index covers the first indexedCount slots.
struct EntryKey {
    uint32_t hash;
    uint32_t length;
};
EntryKey entryKeys[kSafeListCapacity];
int32_t indexedCount;

// FNV-1a over the text up to its NUL or `limit` bytes; `length` receives the
// length hashed.
uint32_t hashText(const char* text, size_t limit, uint32_t* length) {
    uint32_t h = 2166136261u;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* start = p;
    for (; size_t(p - start) < limit && *p; ++p) h = (h ^ *p) * 16777619u;
    *length = uint32_t(p - start);
    return h;
}

int validCount() {
    if (safeListCount < 0) return 0;
    return safeListCount > kSafeListCapacity ? kSafeListCapacity : safeListCount;
}

void indexSafeList() {
    int count = validCount();
    for (int i = 0; i < count; ++i) {
        // A slot written from outside may lack its NUL. Hashing stops before its
        // last byte, so the full comparison of such a slot ends inside it: at
        // that byte, where an equal-looking text has its NUL.
        entryKeys[i].hash = hashText(safeList[i], kSafeListEntrySize - 1, &entryKeys[i].length);
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
    char path[1024];
    filePathFor(FileRole::Config, kSafeListFileName, path, sizeof path);

    PlatformFile file = platformOpenExisting(path);
    if (file == kNoFile) return 0; // no list: nothing is excused
    if (platformFileSize(file) > kSafeListFileMax) {
        platformMessageBox(owner, "safelist.txt file size too large.", "SIZE ERROR",
                           MessageIcon::Error);
        platformCloseFile(file);
        return -1;
    }
    char text[kSafeListFileMax];
    int length = platformReadFile(file, text, kSafeListFileMax);
    int n = length > 0 ? parseSafeListText(text, length) : 0;
    platformCloseFile(file);
    return n;
}

void useSafeListCount(int loaded) {
    safeListCount = (loaded < 0 || loaded > kSafeListCapacity) ? 0 : loaded;
    indexSafeList();
}

bool isSafeListed(const char* text) {
    if (safeListCount != indexedCount) indexSafeList(); // the count was set directly
    const int count = validCount();
    if (count == 0) return false;
    uint32_t length;
    const uint32_t hash = hashText(text, SIZE_MAX, &length);
    for (int i = 0; i < count; ++i) {
        if (entryKeys[i].hash == hash && entryKeys[i].length == length &&
            std::strcmp(safeList[i], text) == 0) {
            return true;
        }
    }
    return false;
}
