// Reading setting.ini and safelist.txt: both are opened the same way (an
// existing file, for reading and writing, without sharing), both have a size
// limit, and both are read whole into a buffer of that size.
#pragma once

#include "platform/platform.h"

enum class ConfigRead {
    NotOpened, // missing, read-only or in use
    TooLarge,  // above the limit; the message was shown
    Read,
};

// Reads `fileName` from the configuration directory into `text` (at least
// `limit` bytes); `length` gets the number of bytes read.
ConfigRead readConfigFile(const char* fileName, int limit, const char* tooLargeMessage,
                          WindowHandle owner, char* text, int* length);
