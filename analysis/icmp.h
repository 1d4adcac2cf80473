// ICMP and ICMPv6 tracking: the last message per (peer, reporter).
#pragma once

#include <array>
#include <cstdint>

#include "analysis/addresses.h"

// Whether a type counts as a problem (1) or not (0), indexed by type.
extern const std::array<uint8_t, 256> icmp4ProblemTypes;
extern const std::array<uint8_t, 256> icmp6ProblemTypes;
// The display name of each type.
extern const std::array<const char*, 256> icmp4TypeNames;
extern const std::array<const char*, 256> icmp6TypeNames;

// Updates or creates the record of (peer, reporter); incoming: 1 received, 0
// sent. A zero peer never matches, so each such message makes a new record.
// The caller holds trafficMutex.
void trackIcmp4(Address4 peer, Address4 reporter, uint8_t type, uint8_t code, int incoming);
void trackIcmp6(const Address6& peer, const Address6& reporter, uint8_t type, uint8_t code,
                int incoming);
