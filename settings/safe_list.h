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

// Sets safeListCount from loadSafeList's result: that count, or 0 when it is
// below 0 or above 100. (What start-up does.)
void useSafeListCount(int loaded);

// True when one of the first safeListCount entries equals `text` exactly.
bool isSafeListed(const char* text);
