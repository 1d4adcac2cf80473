// Reading the names of DNS, LLMNR and NetBIOS name-service messages.
#pragma once

#include <cstdint>

#include "analysis/byte_reader.h"
#include "analysis/traffic_tables.h"

// A name being collected: labels joined by ".", at most 255 characters.
struct CollectedName {
    char text[kNameSize];
    uint32_t length;
};

enum class NameStyle {
    Dns,     // labels are appended as they are
    Netbios, // the first appended label is decoded from the NetBIOS encoding
};

// Reads one name at the reader's position. Compression pointers (a byte from
// 0x40 upward) end the name and are not followed. When `collect` is set, each
// label is appended while the name plus the label plus 2 stays below 256
// characters; a label that does not fit is skipped and later ones may still
// fit. A name that runs past the captured bytes ends there.
void readName(ByteReader& r, CollectedName& name, bool collect, NameStyle style);

// The name with trailing spaces removed.
void trimName(CollectedName& name);
