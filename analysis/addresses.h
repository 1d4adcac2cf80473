// IP addresses as the wire carries them, and their text forms.
#pragma once

#include <cstdint>
#include <cstring>

// An IPv4 address: the 4 bytes in network order, as on the wire, held in a
// 32-bit field (so byte 0 of the field is the first octet). 0 means none.
using Address4 = uint32_t;

// An IPv6 address: the 16 raw bytes as on the wire. All zero means none.
struct Address6 {
    uint8_t bytes[16];
};

inline bool isZeroAddress(Address4 a) {
    return a == 0;
}
inline bool isZeroAddress(const Address6& a) {
    static const uint8_t zero[16] = {};
    return std::memcmp(a.bytes, zero, 16) == 0;
}
inline bool sameAddress(Address4 a, Address4 b) {
    return a == b;
}
inline bool sameAddress(const Address6& a, const Address6& b) {
    return std::memcmp(a.bytes, b.bytes, 16) == 0;
}

constexpr int kAddress4TextSize = 16;

// A hardware address as "02:77:00:00:00:01"; `out` holds at least 18 bytes.
void formatMacAddress(const uint8_t mac[6], char* out);

// "%d.%d.%d.%d" of the four bytes in wire order; `out` holds at least 16 bytes.
// Returns the text length.
int formatAddress4(Address4 address, char* out);
