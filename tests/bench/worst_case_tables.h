// The worst case of a rate paint, for the benchmarks: every table full (every
// other name unanswered, mixed TCP states, every other ICMP peer a problem),
// every text as long as a record can hold, texts that differ only at their end;
// and a full safe list of 100 entries, most of the longest stored length.
#pragma once

#include <cstdio>
#include <cstring>

#include "analysis/traffic_tables.h"
#include "platform/platform.h"
#include "settings/safe_list.h"

// The longest text both a record and a safe-list entry can hold.
inline constexpr int kLongest = kSafeListEntrySize - 2; // 254

// A text of exactly `length` characters that ends with the number `i`, so that
// texts differ only at their end.
inline void longText(char* out, int length, const char* tag, int i) {
    char tail[32];
    int tailLength = std::snprintf(tail, sizeof tail, ".%s%d", tag, i);
    std::memset(out, 'x', size_t(length - tailLength));
    std::memcpy(out + length - tailLength, tail, size_t(tailLength) + 1);
}

inline Address6 address6(int i) {
    Address6 a{};
    a.bytes[0] = 0x20;
    a.bytes[1] = 0x01;
    a.bytes[2] = 0x0d;
    a.bytes[3] = 0xb8;
    for (int b = 4; b < 16; ++b) a.bytes[b] = uint8_t(i * 7 + b);
    return a;
}

inline void fillEveryTable() {
    resetTrafficTables();
    for (int i = 0; i < kNameCapacity; ++i) {
        longText(nameTable4[i].name, kLongest, "n4-", i);
        longText(nameTable6[i].name, kLongest, "n6-", i);
        nameTable4[i].address = i % 2 ? 0 : 0x0100000au + uint32_t(i);
        nameTable6[i].address = i % 2 ? Address6{} : address6(i);
    }
    for (int i = 0; i < kTcpCapacity; ++i) {
        TcpRecord4& t4 = tcpTable4[i];
        longText(t4.name, kLongest, "t4-", i);
        t4.remote = 0x0200000au + uint32_t(i) * 0x01000000u;
        t4.state = uint8_t(i % 12);
        t4.packetCount = 10 + uint32_t(i);
        t4.repeatCount = uint32_t(i % 3);
        TcpRecord6& t6 = tcpTable6[i];
        longText(t6.name, kLongest, "t6-", i);
        t6.remote = address6(i);
        t6.state = uint8_t(i % 12);
        t6.packetCount = 10 + uint32_t(i);
        t6.repeatCount = uint32_t(i % 3);
    }
    for (int i = 0; i < kIcmpCapacity; ++i) {
        IcmpRecord4& m4 = icmpTable4[i];
        longText(m4.name, kLongest, "m4-", i);
        m4.peer = m4.reporter = 0x0300000au + uint32_t(i) * 0x01000000u;
        m4.isProblem = uint8_t(i % 2);
        IcmpRecord6& m6 = icmpTable6[i];
        longText(m6.name, kLongest, "m6-", i);
        m6.peer = m6.reporter = address6(1000 + i);
        m6.isProblem = uint8_t(i % 2);
    }
    reindexTrafficTables();
}

// Every tenth entry names a name record and two in ten name a TCP remote by
// address text, so hits are decided by a full comparison on every path. Call
// after fillEveryTable.
inline void fillSafeList() {
    for (int i = 0; i < kSafeListCapacity; ++i) {
        if (i % 10 == 1)
            platformFormatAddress6(tcpTable6[i].remote, safeList[i], kSafeListEntrySize);
        else if (i % 10 == 2)
            formatAddress4(tcpTable4[i].remote, safeList[i]);
        else
            longText(safeList[i], kLongest, i % 10 == 0 ? "n4-" : "safe-", i * 10);
    }
    useSafeListCount(kSafeListCapacity);
}
