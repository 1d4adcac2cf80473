// Look-up indexes of the capture thread, kept beside the traffic tables.
//
// The tables are scanned linearly from slot 0 and the first match wins; that
// behaviour is part of what the tables mean. To make those scans cheap, every
// table has a compact array of 32-bit keys, one per slot, derived from the
// slot's identifying fields and rewritten whenever the slot is. A scan runs
// over the keys (4 bytes a slot instead of a whole record) and confirms each
// key hit against the record itself, so the result is exactly that of a scan
// over the records. A zeroed record has key 0, so a zeroed index matches a
// zeroed table.
//
// Internal to the analysis: readers of the tables never need these.
#pragma once

#include <cstdint>

#include "analysis/addresses.h"
#include "analysis/traffic_tables.h"

inline uint32_t addressKey(Address4 a) {
    return a;
}
inline uint32_t addressKey(const Address6& a) {
    uint32_t w[4];
    std::memcpy(w, a.bytes, 16);
    return w[0] ^ (w[1] * 0x9E3779B1u) ^ (w[2] * 0x85EBCA77u) ^ (w[3] * 0xC2B2AE3Du);
}
inline uint32_t pairKey(uint32_t a, uint32_t b) {
    return a ^ (b * 0x27D4EB2Fu);
}

// First index at or after `from` whose key equals `key`, or -1. Written as
// blocks of 16 that only ask whether any key of the block matches, without an
// early exit, which compilers turn into a few vector compares; the block with
// a match is then searched key by key.
inline int findKey(const uint32_t* keys, int count, uint32_t key, int from) {
    int i = from;
    for (; i < count && (i & 15) != 0; ++i)
        if (keys[i] == key) return i;
    for (; i + 16 <= count; i += 16) {
        uint32_t any = 0;
        for (int j = 0; j < 16; ++j) any |= uint32_t(keys[i + j] == key);
        if (any)
            for (int j = 0;; ++j)
                if (keys[i + j] == key) return i + j;
    }
    for (; i < count; ++i)
        if (keys[i] == key) return i;
    return -1;
}

template <int Capacity> struct NameIndex {
    alignas(64) uint32_t nameKey[Capacity];    // textKey(name)
    alignas(64) uint32_t addressKey[Capacity]; // addressKey(address)
};
template <int Capacity> struct PairIndex { alignas(64) uint32_t key[Capacity]; };

extern NameIndex<kNameCapacity> nameIndex4, nameIndex6;
extern PairIndex<kTcpCapacity> tcpIndex4, tcpIndex6;                    // (remote, port)
extern PairIndex<kIcmpCapacity> icmpIndex4, icmpIndex6;                 // (peer, reporter)
extern PairIndex<kProcessAddressCapacity> processIndex4, processIndex6; // (address, process)
extern PairIndex<kRecentEventCapacity> recentHostIndex;                 // host

inline uint32_t tcpKey(uint32_t remoteKey, uint16_t port) {
    return pairKey(remoteKey, port);
}
inline uint32_t icmpKey(uint32_t peerKey, uint32_t reporterKey) {
    return pairKey(peerKey, reporterKey);
}
inline uint32_t processAddressKey(uint32_t address, uint32_t processKey) {
    return pairKey(address, processKey);
}
