// The three rates of the overlay, computed from the traffic tables: the share
// of names that were answered, the share of failed or repeated TCP segments and
// the share of ICMP peers whose last message is a problem. Hosts on the safe
// list are left out of numerator and denominator alike. Shared by the overlay
// and the offline analyser.
#pragma once

#include <cstdint>

struct Rates {
    uint8_t dnsResolvedPercent; // 100 when no name counts
    uint8_t tcpErrorPercent;
    uint8_t icmpErrorPercent;
};

// What the rates divide: the named records and those answered, the TCP
// packets and those failed or repeated, the ICMP records with a peer and those
// whose last message is a problem; safe-listed hosts left out.
struct RateCounts {
    int64_t names;
    int64_t answeredNames;
    int64_t tcpPackets;
    int64_t tcpErrors;
    int64_t icmpPeers;
    int64_t icmpProblems;
};

// Scans every table once, one record at a time under trafficMutex.
// User-interface thread (reads the settings record and the safe list).
RateCounts computeRateCounts();
Rates ratesOf(const RateCounts& counts);
Rates computeRates(); // ratesOf(computeRateCounts())

// Packets of connections that never got established (states 0 to 3) plus the
// repeated segments of the others, over both TCP tables, leaving out
// safe-listed records (by name or remote address text).
int32_t countTcpErrors();

// ICMP records with a peer that are not safe-listed (by name or peer address
// text), over both ICMP tables.
int32_t countIcmpHosts();

// The three label texts: "DNS %3d%%" of the unanswered share (100 minus the
// resolved percentage), "TCP %3d%%" and "ICMP %3d%%".
struct RateTexts {
    char dns[16];
    char tcp[16];
    char icmp[16];
};
RateTexts formatRateTexts(const Rates& rates);
