#include "app/rates.h"

#include <cstdio>
#include <cstring>

#include "analysis/traffic_tables.h"
#include "platform/platform.h"
#include "settings/safe_list.h"
#include "settings/settings.h"

namespace {

// A rate paint tests up to 6000 texts (names of up to 255 bytes) against the
// safe list, and isSafeListed reads each text whole. A 4096-bit filter keyed on
// the length and the first and last 8 bytes of the entries answers "certainly
// not listed" for almost every text without reading it through; any text that
// passes is decided by isSafeListed itself, so the answer is always exactly
// isSafeListed's. With full tables of long names this saves about a third of
// the paint's rate computation.
struct SafeListFilter {
    bool empty;
    uint64_t bits[64];
};

uint32_t filterKey(const char* text, size_t length) {
    uint64_t head = 0, tail = 0;
    std::memcpy(&head, text, length < 8 ? length : 8);
    if (length > 8) std::memcpy(&tail, text + length - 8, 8);
    uint64_t h = head * 0x9E3779B97F4A7C15ull ^ tail * 0xC2B2AE3D27D4EB4Full ^
                 (length + 1) * 0x165667B19E3779F9ull;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    return uint32_t(h >> 52); // 12 bits
}

SafeListFilter buildFilter() {
    SafeListFilter filter{};
    int count = safeListCount < kSafeListCapacity ? safeListCount : kSafeListCapacity;
    filter.empty = count <= 0;
    for (int i = 0; i < count; ++i) {
        uint32_t key = filterKey(safeList[i], std::strlen(safeList[i]));
        filter.bits[key >> 6] |= uint64_t(1) << (key & 63);
    }
    return filter;
}

bool listed(const SafeListFilter& filter, const char* text) {
    if (filter.empty) return false;
    uint32_t key = filterKey(text, std::strlen(text));
    if (!(filter.bits[key >> 6] >> (key & 63) & 1)) return false;
    return isSafeListed(text);
}

void addressText(Address4 address, char* out) {
    formatAddress4(address, out);
}
void addressText(const Address6& address, char* out) {
    platformFormatAddress6(address, out, kAddress6TextSize);
}

// A TCP or ICMP record is safe-listed by its name or by its address as text.
template <class Address>
bool listed(const SafeListFilter& filter, const char* name, const Address& address) {
    if (filter.empty) return false;
    if (listed(filter, name)) return true;
    char text[kAddress6TextSize];
    addressText(address, text);
    return listed(filter, text);
}

template <class Record> Record copyRecord(const Record& record) {
    TrafficLock lock(trafficMutex);
    return record;
}

struct Counts {
    int64_t total;
    int64_t errors;
};

// Names: total = named records, errors = answered records ("resolved").
template <class Address>
void countName(const NameRecord<Address>& shared, const SafeListFilter& filter, bool ignoreDotless,
               Counts& counts) {
    NameRecord<Address> record = copyRecord(shared);
    bool named = record.name[0] != '\0';
    bool answered = !isZeroAddress(record.address);
    if (!named && !answered) return;
    if (record.noDot != 0 && ignoreDotless) return;
    if (listed(filter, record.name)) return;
    if (named) ++counts.total;
    if (answered) ++counts.errors;
}

// TCP: total = packets, errors = packets of connections never established plus
// the repeats of the others.
template <class Address>
void countTcp(const TcpRecord<Address>& shared, const SafeListFilter& filter, Counts& counts) {
    TcpRecord<Address> record = copyRecord(shared);
    if (record.packetCount == 0) return;
    if (listed(filter, record.name, record.remote)) return;
    counts.total += record.packetCount;
    counts.errors += record.state <= 3 ? record.packetCount : record.repeatCount;
}

// ICMP: total = records with a peer, errors = records whose last message is a
// problem (a record without a peer can still be one).
template <class Address>
void countIcmp(const IcmpRecord<Address>& shared, const SafeListFilter& filter, Counts& counts) {
    IcmpRecord<Address> record = copyRecord(shared);
    bool hasPeer = !isZeroAddress(record.peer);
    if (!hasPeer && record.isProblem == 0) return;
    if (listed(filter, record.name, record.peer)) return;
    if (hasPeer) ++counts.total;
    if (record.isProblem != 0) ++counts.errors;
}

Counts nameCounts(const SafeListFilter& filter) {
    Counts counts{};
    bool ignoreDotless = settings.ignoreDotlessNames != 0;
    for (int i = 0; i < kNameCapacity; ++i) {
        countName(nameTable4[i], filter, ignoreDotless, counts);
        countName(nameTable6[i], filter, ignoreDotless, counts);
    }
    return counts;
}

Counts tcpCounts(const SafeListFilter& filter) {
    Counts counts{};
    for (int i = 0; i < kTcpCapacity; ++i) {
        countTcp(tcpTable4[i], filter, counts);
        countTcp(tcpTable6[i], filter, counts);
    }
    return counts;
}

Counts icmpCounts(const SafeListFilter& filter) {
    Counts counts{};
    for (int i = 0; i < kIcmpCapacity; ++i) {
        countIcmp(icmpTable4[i], filter, counts);
        countIcmp(icmpTable6[i], filter, counts);
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

Rates computeRates() {
    SafeListFilter filter = buildFilter();
    Rates rates;
    rates.dnsResolvedPercent = percent(nameCounts(filter), 100);
    rates.tcpErrorPercent = percent(tcpCounts(filter), 0);
    rates.icmpErrorPercent = percent(icmpCounts(filter), 0);
    return rates;
}

int32_t countTcpErrors() {
    return clampToInt32(tcpCounts(buildFilter()).errors);
}

int32_t countIcmpHosts() {
    return clampToInt32(icmpCounts(buildFilter()).total);
}

RateTexts formatRateTexts(const Rates& rates) {
    RateTexts texts;
    std::snprintf(texts.dns, sizeof texts.dns, "DNS %3d%%", 100 - int(rates.dnsResolvedPercent));
    std::snprintf(texts.tcp, sizeof texts.tcp, "TCP %3d%%", int(rates.tcpErrorPercent));
    std::snprintf(texts.icmp, sizeof texts.icmp, "ICMP %3d%%", int(rates.icmpErrorPercent));
    return texts;
}
