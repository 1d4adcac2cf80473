// Name resolution: DNS and LLMNR questions make pending name records, the
// first usable A or AAAA answer fills in the address.
#pragma once

#include <cstdint>

#include "analysis/addresses.h"

// Parses one DNS or LLMNR message (the bytes after the UDP or TCP header).
void parseDnsMessage(const uint8_t* payload, uint32_t length);

// Inserts or completes a name record: a zero address records a pending
// question, a non-zero one completes pending records of the name or adds a
// record for a new address. "*" is never stored. The caller holds trafficMutex.
void rememberName4(Address4 address, const char* name);
void rememberName6(const Address6& address, const char* name);

// True when any record of the table carries `name`, answered or not.
bool nameKnown4(const char* name);
bool nameKnown6(const char* name);
