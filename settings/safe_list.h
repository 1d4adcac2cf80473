// The safe list: host names and address texts whose failures the user excuses.
// Read once at start-up from safelist.txt beside the executable.
#pragma once

#include <cstdint>

#include "platform/platform.h"

constexpr int kSafeListCapacity = 100;
constexpr int kSafeListEntrySize = 256; // at most 254 bytes are stored
constexpr int kSafeListFileMax = 25600;

extern char safeList[kSafeListCapacity][kSafeListEntrySize];
extern int32_t safeListCount;

// Reads safelist.txt into safeList and returns the number of entries of valid
// length found (may exceed 100); 0 when there is no file or it is empty; -1
// when it is above 25600 bytes (message shown). Does not set safeListCount.
int loadSafeList(WindowHandle owner);

// The scan of loadSafeList, apart from the file: stores the entries of `text`
// (`length` bytes, or up to its first NUL) into safeList and returns how many
// entries of valid length it found (may exceed 100; slots past 100 are never
// written). Does not set safeListCount.
int parseSafeListText(const char* text, int length);

// Sets safeListCount from loadSafeList's result: that count, or 0 when it is
// below 0 or above 100. (What start-up does.) It also indexes the entries for
// isSafeListed, so code that writes safeList slots directly must call it
// afterwards.
void useSafeListCount(int loaded);

// True when one of the first safeListCount entries equals `text` exactly
// (case-sensitive, whole text).
bool isSafeListed(const char* text);
