#include "app/rates.h"

#include <cstdio>
#include <cstring>

#include "analysis/traffic_tables.h"
#include "platform/platform.h"
#include "settings/safe_list.h"
#include "settings/settings.h"

namespace {

// A TCP or ICMP record is safe-listed by its name or by its address as text.
template <class Address> bool listed(const char* name, const Address& address) {
    if (safeListCount == 0) return false;
    if (isSafeListed(name)) return true;
    char text[kAddressTextSize];
    addressText(address, text);
    return isSafeListed(text);
}

struct Counts {
    int64_t total;
    int64_t errors;
};

// Names: total = named records, errors = answered records ("resolved").
template <class Address>
void countName(const NameRecord<Address>& shared, bool ignoreDotless, Counts& counts) {
    NameRecord<Address> record = copyRecord(shared);
    bool named = record.name[0] != '\0';
    bool answered = !isZeroAddress(record.address);
    if (!named && !answered) return;
    if (record.noDot != 0 && ignoreDotless) return;
    if (isSafeListed(record.name)) return;
    if (named) ++counts.total;
    if (answered) ++counts.errors;
}

// TCP: total = packets, errors = packets of connections never established plus
// the repeats of the others.
template <class Address> void countTcp(const TcpRecord<Address>& shared, Counts& counts) {
    TcpRecord<Address> record = copyRecord(shared);
    if (record.packetCount == 0) return;
    if (listed(record.name, record.remote)) return;
    counts.total += record.packetCount;
    counts.errors += record.state <= 3 ? record.packetCount : record.repeatCount;
}

// ICMP: total = records with a peer, errors = records whose last message is a
// problem (a record without a peer can still be one).
template <class Address> void countIcmp(const IcmpRecord<Address>& shared, Counts& counts) {
    IcmpRecord<Address> record = copyRecord(shared);
    bool hasPeer = !isZeroAddress(record.peer);
    if (!hasPeer && record.isProblem == 0) return;
    if (listed(record.name, record.peer)) return;
    if (hasPeer) ++counts.total;
    if (record.isProblem != 0) ++counts.errors;
}

Counts nameCounts() {
    Counts counts{};
    bool ignoreDotless = settings.ignoreDotlessNames != 0;
    for (int i = 0; i < kNameCapacity; ++i) {
        countName(nameTable4[i], ignoreDotless, counts);
        countName(nameTable6[i], ignoreDotless, counts);
    }
    return counts;
}

Counts tcpCounts() {
    Counts counts{};
    for (int i = 0; i < kTcpCapacity; ++i) {
        countTcp(tcpTable4[i], counts);
        countTcp(tcpTable6[i], counts);
    }
    return counts;
}

Counts icmpCounts() {
    Counts counts{};
    for (int i = 0; i < kIcmpCapacity; ++i) {
        countIcmp(icmpTable4[i], counts);
        countIcmp(icmpTable6[i], counts);
    }
    return counts;
}

// errors * 100 / total, or `fallback` when there is nothing to divide by or the
// counts contradict each other.
uint8_t percent(const Counts& counts, uint8_t fallback) {
    if (counts.total < 1 || counts.total < counts.errors) return fallback;
    return uint8_t(counts.errors * 100 / counts.total);
}

int32_t clampToInt32(int64_t value) {
    return value > INT32_MAX ? INT32_MAX : int32_t(value);
}

} // namespace

RateCounts computeRateCounts() {
    const Counts names = nameCounts(), tcp = tcpCounts(), icmp = icmpCounts();
    return RateCounts{names.total, names.errors, tcp.total, tcp.errors, icmp.total, icmp.errors};
}

Rates ratesOf(const RateCounts& c) {
    Rates rates;
    rates.dnsResolvedPercent = percent(Counts{c.names, c.answeredNames}, 100);
    rates.tcpErrorPercent = percent(Counts{c.tcpPackets, c.tcpErrors}, 0);
    rates.icmpErrorPercent = percent(Counts{c.icmpPeers, c.icmpProblems}, 0);
    return rates;
}

Rates computeRates() {
    return ratesOf(computeRateCounts());
}

int32_t countTcpErrors() {
    return clampToInt32(tcpCounts().errors);
}

int32_t countIcmpHosts() {
    return clampToInt32(icmpCounts().total);
}

RateTexts formatRateTexts(const Rates& rates) {
    RateTexts texts;
    std::snprintf(texts.dns, sizeof texts.dns, "DNS %3d%%", 100 - int(rates.dnsResolvedPercent));
    std::snprintf(texts.tcp, sizeof texts.tcp, "TCP %3d%%", int(rates.tcpErrorPercent));
    std::snprintf(texts.icmp, sizeof texts.icmp, "ICMP %3d%%", int(rates.icmpErrorPercent));
    return texts;
}
