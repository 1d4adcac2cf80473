#include "analysis/traffic_tables.h"

#include <cstring>

#include "analysis/table_index.h"
#include "analysis/text.h"

const char kNotFound[] = "notfound";

NameRecord4 nameTable4[kNameCapacity];
NameRecord6 nameTable6[kNameCapacity];
TcpRecord4 tcpTable4[kTcpCapacity];
TcpRecord6 tcpTable6[kTcpCapacity];
IcmpRecord4 icmpTable4[kIcmpCapacity];
IcmpRecord6 icmpTable6[kIcmpCapacity];
ProcessAddress4 processAddresses4[kProcessAddressCapacity];
ProcessAddress6 processAddresses6[kProcessAddressCapacity];

int32_t nameTable4Next, nameTable6Next;
int32_t tcpTable4Next, tcpTable6Next;
int32_t icmpTable4Next, icmpTable6Next;
int32_t processAddresses4Next, processAddresses6Next;

RecentEvent recentEvents[kRecentEventCapacity];
int32_t recentReadIndex = 1;
int32_t recentWriteIndex;
int32_t pendingEventCount;
char lastShownHost[kNameSize];

std::mutex trafficMutex;
std::atomic<int32_t> ownerRefreshPending{0};
std::atomic<bool> localAddressesLoaded{false};
uint8_t localMacAddress[6];

NameIndex<kNameCapacity> nameIndex4, nameIndex6;
PairIndex<kTcpCapacity> tcpIndex4, tcpIndex6;
PairIndex<kIcmpCapacity> icmpIndex4, icmpIndex6;
PairIndex<kProcessAddressCapacity> processIndex4, processIndex6;
PairIndex<kRecentEventCapacity> recentHostIndex;

// Settings default: process names on a second line.
static std::atomic<int32_t> sharedTwoLineProcessNames{1};

void publishTwoLineProcessNames(int32_t value) {
    sharedTwoLineProcessNames.store(value, std::memory_order_relaxed);
}
int32_t publishedTwoLineProcessNames() {
    return sharedTwoLineProcessNames.load(std::memory_order_relaxed);
}

void setLocalMacAddress(const uint8_t mac[6]) {
    {
        // The capture thread reads the address under the lock once the flag is up.
        TrafficLock lock(trafficMutex);
        std::memcpy(localMacAddress, mac, 6);
    }
    localAddressesLoaded.store(true, std::memory_order_release);
}

template <class T, int N> static void zero(T (&table)[N]) {
    std::memset(table, 0, sizeof table);
}

void resetTrafficTables() {
    zero(nameTable4);
    zero(nameTable6);
    zero(tcpTable4);
    zero(tcpTable6);
    zero(icmpTable4);
    zero(icmpTable6);
    zero(processAddresses4);
    zero(processAddresses6);
    nameTable4Next = nameTable6Next = 0;
    tcpTable4Next = tcpTable6Next = 0;
    icmpTable4Next = icmpTable6Next = 0;
    processAddresses4Next = processAddresses6Next = 0;
    zero(recentEvents);
    recentReadIndex = 1;
    recentWriteIndex = 0;
    pendingEventCount = 0;
    lastShownHost[0] = '\0';
    ownerRefreshPending.store(0);
    localAddressesLoaded.store(false);
    std::memset(localMacAddress, 0, sizeof localMacAddress);
    reindexTrafficTables();
}

template <class Record, int N, int M>
static void indexNames(const Record (&table)[N], NameIndex<M>& index) {
    for (int i = 0; i < N; ++i) {
        index.nameKey[i] = textKey(table[i].name);
        index.addressKey[i] = addressKey(table[i].address);
    }
}

void reindexTrafficTables() {
    indexNames(nameTable4, nameIndex4);
    indexNames(nameTable6, nameIndex6);
    for (int i = 0; i < kTcpCapacity; ++i) {
        tcpIndex4.key[i] = tcpKey(addressKey(tcpTable4[i].remote), tcpTable4[i].port);
        tcpIndex6.key[i] = tcpKey(addressKey(tcpTable6[i].remote), tcpTable6[i].port);
    }
    for (int i = 0; i < kIcmpCapacity; ++i) {
        icmpIndex4.key[i] =
            icmpKey(addressKey(icmpTable4[i].peer), addressKey(icmpTable4[i].reporter));
        icmpIndex6.key[i] =
            icmpKey(addressKey(icmpTable6[i].peer), addressKey(icmpTable6[i].reporter));
    }
    for (int i = 0; i < kProcessAddressCapacity; ++i) {
        processIndex4.key[i] = processAddressKey(addressKey(processAddresses4[i].address),
                                                 textKey(processAddresses4[i].process));
        processIndex6.key[i] = processAddressKey(addressKey(processAddresses6[i].address),
                                                 textKey(processAddresses6[i].process));
    }
    for (int i = 0; i < kRecentEventCapacity; ++i)
        recentHostIndex.key[i] = textKey(recentEvents[i].host);
}

template <class Address, int N, int M>
static const char* lookupNameIn(const NameRecord<Address> (&table)[N], const NameIndex<M>& index,
                                const Address& address) {
    uint32_t key = addressKey(address);
    for (int i = findKey(index.addressKey, N, key, 0); i >= 0;
         i = findKey(index.addressKey, N, key, i + 1)) {
        if (sameAddress(table[i].address, address)) return table[i].name;
    }
    return kNotFound;
}

const char* lookupName4(Address4 address) {
    return lookupNameIn(nameTable4, nameIndex4, address);
}
const char* lookupName6(const Address6& address) {
    return lookupNameIn(nameTable6, nameIndex6, address);
}
