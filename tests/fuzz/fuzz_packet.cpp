// libFuzzer target: every input is one frame for the packet handler, Ethernet
// or Linux cooked.
//
// The traffic tables, the owner tables and the recent-event ring live on from
// one input to the next, as they do in the running program, so the rings wrap
// and the look-up indexes see overwrites. After every input the tables are
// checked and any broken rule aborts the run:
//   - every text field ends with a NUL in its last byte;
//   - cursors and ring indices stay inside their tables;
//   - every look-up index holds exactly the keys of its records;
//   - keys that identify a record are unique in their table;
//   - lookupName4/6 and findPortOwner give what a plain scan from slot 0 gives.
//
// The frame itself is never changed. Its last byte steers the surroundings:
//   bits 0-1  which hardware address is this host's: 0 or 1 the frame's source
//             (outgoing), 2 its destination (incoming), 3 the fixed address
//             of the test captures' host (other frames are then foreign, and
//             only broadcast and multicast ones are taken);
//   bit 2     twoLineProcessNames;
//   bit 3     before the frame, remember an owner for its source port, so
//             outgoing segments find their process; with bit 4 as well the
//             owner's name is long enough to be cut;
//   bit 5     after the frame, show one pending event, as the overlay would;
//   bits 6-7  the link layer: 0 or 1 Ethernet, 2 LINUX_SLL, 3 LINUX_SLL2
//             (whose header decides the direction, whatever bits 0-1 say).
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "analysis/icmp.h"
#include "analysis/packet.h"
#include "analysis/table_index.h"
#include "analysis/tcp.h"
#include "analysis/text.h"
#include "analysis/traffic_tables.h"
#include "capture/owner_table.h"

namespace {

// The checks are not what is fuzzed: keep them out of the coverage feedback,
// and out of the sanitizers, whose hooks would cost more than the frame.
#define KESTRAVA_CHECK __attribute__((no_sanitize("address", "undefined", "coverage")))

[[noreturn]] KESTRAVA_CHECK void fail(const char* what, int slot) {
    std::fprintf(stderr, "fuzz_packet: invariant broken: %s (slot %d)\n", what, slot);
    std::abort();
}

template <size_t N>
KESTRAVA_CHECK void checkText(const char (&text)[N], const char* what, int slot) {
    if (text[N - 1] != '\0') fail(what, slot);
}

KESTRAVA_CHECK void checkCursor(int32_t cursor, int capacity, const char* what) {
    if (cursor < 0 || cursor >= capacity) fail(what, cursor);
}

uint16_t be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

KESTRAVA_CHECK bool sameBytes(const void* a, const void* b, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(a);
    const uint8_t* q = static_cast<const uint8_t*>(b);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, p + i, 8);
        std::memcpy(&y, q + i, 8);
        if (x != y) return false;
    }
    for (; i < size; ++i)
        if (p[i] != q[i]) return false;
    return true;
}

// Whole arrays, bytes after the NUL included: a stale tail that differs only
// marks the slot as written, which costs a second look and nothing more.
template <size_t N> KESTRAVA_CHECK bool sameText(const char (&a)[N], const char (&b)[N]) {
    return sameBytes(a, b, N);
}

// What identifies a record of each table, whether a slot holds one whose
// identity must be unique, and the keys its look-up indexes hold.
template <class A>
KESTRAVA_CHECK bool sameIdentity(const NameRecord<A>& a, const NameRecord<A>& b) {
    return sameBytes(&a.address, &b.address, sizeof(A)) && sameText(a.name, b.name);
}
template <class A> KESTRAVA_CHECK bool sameIdentity(const TcpRecord<A>& a, const TcpRecord<A>& b) {
    return a.port == b.port && sameBytes(&a.remote, &b.remote, sizeof(A));
}
template <class A>
KESTRAVA_CHECK bool sameIdentity(const IcmpRecord<A>& a, const IcmpRecord<A>& b) {
    return sameBytes(&a.peer, &b.peer, sizeof(A)) && sameBytes(&a.reporter, &b.reporter, sizeof(A));
}
template <class A>
KESTRAVA_CHECK bool sameIdentity(const ProcessAddress<A>& a, const ProcessAddress<A>& b) {
    return sameBytes(&a.address, &b.address, sizeof(A)) && sameText(a.process, b.process);
}
KESTRAVA_CHECK bool sameIdentity(const RecentEvent& a, const RecentEvent& b) {
    return sameText(a.host, b.host);
}
KESTRAVA_CHECK bool sameIdentity(const PortOwner& a, const PortOwner& b) {
    return a.isTcp == b.isTcp && a.port == b.port && sameText(a.process, b.process);
}

// Records with an empty name are left out: an empty name matches every empty
// slot, and an answer for it completes them all.
template <class A> KESTRAVA_CHECK bool unique(const NameRecord<A>& r) {
    return r.name[0] != '\0';
}
template <class A> KESTRAVA_CHECK bool unique(const TcpRecord<A>& r) {
    return r.packetCount > 0;
}
// A zero peer is never matched, so those records may repeat.
template <class A> KESTRAVA_CHECK bool unique(const IcmpRecord<A>& r) {
    return !isZeroAddress(r.peer);
}
template <class A> KESTRAVA_CHECK bool unique(const ProcessAddress<A>& r) {
    return r.process[0] != '\0';
}
// A host may come back once it has been shown.
KESTRAVA_CHECK bool unique(const RecentEvent&) {
    return false;
}
KESTRAVA_CHECK bool unique(const PortOwner& r) {
    return r.process[0] != '\0';
}

template <class A> uint32_t keyOf(const NameRecord<A>& r, int which) {
    return which == 0 ? textKey(r.name) : addressKey(r.address);
}
template <class A> uint32_t keyOf(const TcpRecord<A>& r, int) {
    return tcpKey(addressKey(r.remote), r.port);
}
template <class A> uint32_t keyOf(const IcmpRecord<A>& r, int) {
    return icmpKey(addressKey(r.peer), addressKey(r.reporter));
}
template <class A> uint32_t keyOf(const ProcessAddress<A>& r, int) {
    return processAddressKey(addressKey(r.address), textKey(r.process));
}
uint32_t keyOf(const RecentEvent& r, int) {
    return textKey(r.host);
}
// The owner tables keep their index to themselves; this key only serves the
// uniqueness test, and findPortOwner is checked against a scan instead.
uint32_t keyOf(const PortOwner& r, int) {
    return uint32_t(r.isTcp) << 16 | r.port;
}

// A copy of one table as it was after the previous input, with the keys its
// indexes held then. Comparing identities with the copy tells which slots the
// last input gave a new identity; only those may have new keys, and their keys
// must be those of the new records. (Rebuilding every index after every input
// would cost far more than the frame.)
template <class Record, int N, int Indexes = 1> struct Shadow {
    Shadow(const Record (&t)[N], std::array<const uint32_t*, Indexes> i, const char* w)
        : table(t), index(i), what(w) {}
    const Record (&table)[N];
    std::array<const uint32_t*, Indexes> index; // null: no index to check, keys only kept
    const char* what;
    Record records[N] = {};
    uint32_t keys[Indexes][N] = {};
    int changed[N] = {};
    int changedCount = 0;
};

template <class Record, int N, int Indexes>
KESTRAVA_CHECK void checkShadow(Shadow<Record, N, Indexes>& s) {
    s.changedCount = 0;
    for (int i = 0; i < N; ++i) {
        if (sameIdentity(s.table[i], s.records[i])) continue;
        s.records[i] = s.table[i];
        s.changed[s.changedCount++] = i;
    }
    for (int k = 0; k < Indexes; ++k) {
        uint32_t* keys = s.keys[k];
        for (int c = 0; c < s.changedCount; ++c) {
            const int i = s.changed[c];
            keys[i] = keyOf(s.records[i], k);
            if (s.index[k] && s.index[k][i] != keys[i]) fail(s.what, i);
        }
        if (s.index[k] && !sameBytes(keys, s.index[k], sizeof(uint32_t) * N)) {
            for (int i = 0; i < N; ++i)
                if (keys[i] != s.index[k][i]) fail(s.what, i);
        }
    }
    // A slot with a new identity shares it with no other slot.
    for (int c = 0; c < s.changedCount; ++c) {
        const int i = s.changed[c];
        if (!unique(s.table[i])) continue;
        for (int j = 0; j < N; ++j)
            if (j != i && s.keys[0][j] == s.keys[0][i] && unique(s.table[j]) &&
                sameIdentity(s.table[i], s.table[j]))
                fail(s.what, j);
    }
}

// Made once the tables are reset: the records as they are, the keys rebuilt.
template <class Record, int N, int Indexes> void startShadow(Shadow<Record, N, Indexes>& s) {
    for (int i = 0; i < N; ++i) {
        s.records[i] = s.table[i];
        for (int k = 0; k < Indexes; ++k) s.keys[k][i] = keyOf(s.table[i], k);
    }
}

Shadow<NameRecord4, kNameCapacity, 2> names4{
    nameTable4, {nameIndex4.nameKey, nameIndex4.addressKey}, "nameIndex4"};
Shadow<NameRecord6, kNameCapacity, 2> names6{
    nameTable6, {nameIndex6.nameKey, nameIndex6.addressKey}, "nameIndex6"};
Shadow<TcpRecord4, kTcpCapacity> tcp4{tcpTable4, {tcpIndex4.key}, "tcpIndex4"};
Shadow<TcpRecord6, kTcpCapacity> tcp6{tcpTable6, {tcpIndex6.key}, "tcpIndex6"};
Shadow<IcmpRecord4, kIcmpCapacity> icmp4{icmpTable4, {icmpIndex4.key}, "icmpIndex4"};
Shadow<IcmpRecord6, kIcmpCapacity> icmp6{icmpTable6, {icmpIndex6.key}, "icmpIndex6"};
Shadow<ProcessAddress4, kProcessAddressCapacity> processes4{
    processAddresses4, {processIndex4.key}, "processIndex4"};
Shadow<ProcessAddress6, kProcessAddressCapacity> processes6{
    processAddresses6, {processIndex6.key}, "processIndex6"};
Shadow<RecentEvent, kRecentEventCapacity> recent{
    recentEvents, {recentHostIndex.key}, "recentHostIndex"};
Shadow<PortOwner, kPortOwnerCapacity> owners4{portOwners4, {nullptr}, "portOwners4"};
Shadow<PortOwner, kPortOwnerCapacity> owners6{portOwners6, {nullptr}, "portOwners6"};

void startShadows() {
    startShadow(names4);
    startShadow(names6);
    startShadow(tcp4);
    startShadow(tcp6);
    startShadow(icmp4);
    startShadow(icmp6);
    startShadow(processes4);
    startShadow(processes6);
    startShadow(recent);
    startShadow(owners4);
    startShadow(owners6);
}

// Field rules that hold in every slot. A name and its noDot are written
// together, so those two are looked at where the name changed.
template <class A, int N>
KESTRAVA_CHECK void checkNames(const NameRecord<A> (&table)[N],
                               const Shadow<NameRecord<A>, N, 2>& s) {
    for (int i = 0; i < N; ++i) checkText(table[i].name, "name text", i);
    for (int c = 0; c < s.changedCount; ++c) {
        const NameRecord<A>& record = table[s.changed[c]];
        if (record.name[0] == '\0') continue;
        if (record.name[0] == '*' && record.name[1] == '\0') fail("\"*\" stored", s.changed[c]);
        bool dot = false;
        for (const char* p = record.name; *p; ++p) dot = dot || *p == '.';
        if (record.noDot != (dot ? 0 : 1)) fail("noDot", s.changed[c]);
    }
}

template <class A, int N> KESTRAVA_CHECK void checkTcp(const TcpRecord<A> (&table)[N]) {
    for (int i = 0; i < N; ++i) {
        checkText(table[i].name, "TCP name text", i);
        if (table[i].state > kTcpClosed) fail("TCP state out of range", i);
        if (table[i].repeatCount > table[i].packetCount) fail("TCP repeats above packets", i);
    }
}

template <class A, int N>
KESTRAVA_CHECK void checkIcmp(const IcmpRecord<A> (&table)[N],
                              const std::array<uint8_t, 256>& problemTypes) {
    for (int i = 0; i < N; ++i) {
        checkText(table[i].name, "ICMP name text", i);
        if (table[i].isProblem != problemTypes[table[i].type]) fail("ICMP isProblem", i);
        if (table[i].incoming > 1) fail("ICMP incoming", i);
    }
}

template <class A, int N>
KESTRAVA_CHECK void checkProcessAddresses(const ProcessAddress<A> (&table)[N]) {
    for (int i = 0; i < N; ++i) {
        checkText(table[i].process, "process text", i);
        if (table[i].process[kProcessNameSize - 2] != '\0') fail("process name too long", i);
    }
}

KESTRAVA_CHECK void checkOwners(const PortOwner (&table)[kPortOwnerCapacity]) {
    for (int i = 0; i < kPortOwnerCapacity; ++i) {
        checkText(table[i].process, "owner text", i);
        if (table[i].isTcp > 1) fail("owner protocol", i);
    }
}

KESTRAVA_CHECK void checkTables() {
    checkTcp(tcpTable4);
    checkTcp(tcpTable6);
    checkIcmp(icmpTable4, icmp4ProblemTypes);
    checkIcmp(icmpTable6, icmp6ProblemTypes);
    checkProcessAddresses(processAddresses4);
    checkProcessAddresses(processAddresses6);
    checkOwners(portOwners4);
    checkOwners(portOwners6);
    for (int i = 0; i < kRecentEventCapacity; ++i) {
        checkText(recentEvents[i].host, "recent host", i);
        checkText(recentEvents[i].process, "recent process", i);
    }
    checkText(lastShownHost, "lastShownHost", -1);

    checkShadow(names4);
    checkShadow(names6);
    checkNames(nameTable4, names4);
    checkNames(nameTable6, names6);
    checkShadow(tcp4);
    checkShadow(tcp6);
    checkShadow(icmp4);
    checkShadow(icmp6);
    checkShadow(processes4);
    checkShadow(processes6);
    checkShadow(recent);
    checkShadow(owners4);
    checkShadow(owners6);

    checkCursor(nameTable4Next, kNameCapacity, "nameTable4Next");
    checkCursor(nameTable6Next, kNameCapacity, "nameTable6Next");
    checkCursor(tcpTable4Next, kTcpCapacity, "tcpTable4Next");
    checkCursor(tcpTable6Next, kTcpCapacity, "tcpTable6Next");
    checkCursor(icmpTable4Next, kIcmpCapacity, "icmpTable4Next");
    checkCursor(icmpTable6Next, kIcmpCapacity, "icmpTable6Next");
    checkCursor(processAddresses4Next, kProcessAddressCapacity, "processAddresses4Next");
    checkCursor(processAddresses6Next, kProcessAddressCapacity, "processAddresses6Next");
    checkCursor(portOwners4Next, kPortOwnerCapacity, "portOwners4Next");
    checkCursor(portOwners6Next, kPortOwnerCapacity, "portOwners6Next");
    checkCursor(recentWriteIndex, kRecentEventCapacity, "recentWriteIndex");
    checkCursor(recentReadIndex, kRecentEventCapacity, "recentReadIndex");
    if (pendingEventCount < 0) fail("pendingEventCount", pendingEventCount);
}

// lookupName and findPortOwner against a plain scan from slot 0.
template <class Address, int N>
KESTRAVA_CHECK void checkLookup(const NameRecord<Address> (&table)[N], const Address& address,
                                const char* found) {
    const char* expected = kNotFound;
    for (int i = 0; i < N; ++i) {
        if (sameAddress(table[i].address, address)) {
            expected = table[i].name;
            break;
        }
    }
    if (found != expected) fail("lookupName differs from a scan", -1);
}

KESTRAVA_CHECK void checkOwnerLookup(uint16_t port, int isTcp, int isIpv4) {
    const PortOwner* table = isIpv4 ? portOwners4 : portOwners6;
    char expected[kOwnerNameMax + 1];
    std::strcpy(expected, kNotFound);
    bool expectedFound = false;
    for (int i = 0; i < kPortOwnerCapacity; ++i) {
        if (table[i].port == port && table[i].isTcp == isTcp) {
            std::strncpy(expected, table[i].process, kOwnerNameMax);
            expected[kOwnerNameMax] = '\0';
            expectedFound = true;
            break;
        }
    }
    char found[kOwnerNameMax + 1];
    if (findPortOwner(found, port, isTcp, isIpv4) != expectedFound ||
        std::strcmp(found, expected) != 0)
        fail("findPortOwner differs from a scan", port);
}

// An owner for the frame's source port, so that the outgoing path finds a
// process. The name comes from the input; a long one must be cut to 258.
void rememberOwnerOf(const uint8_t* data, size_t size, bool longName) {
    const bool ipv4 = size >= 38 && (data[14] >> 4) == 4;
    const bool ipv6 = size >= 58 && (data[14] >> 4) == 6;
    if (!ipv4 && !ipv6) return;
    const uint16_t port = be16(data + (ipv4 ? 34 : 54));
    const uint8_t isTcp = (ipv4 ? data[23] : data[20]) == 6 ? 1 : 0;
    char name[301];
    size_t length = longName ? 45 + data[size - 2] : 1 + data[size - 2] % 8;
    for (size_t i = 0; i < length; ++i) name[i] = char('a' + data[(i * 7) % size] % 26);
    name[length] = '\0';
    if (ipv4) {
        rememberPortOwner4(name, port, isTcp);
    } else {
        rememberPortOwner6(name, port, isTcp);
    }
}

// The overlay's side of the ring, reduced to what the producer looks at:
// the shown host becomes lastShownHost and the read index moves on.
void showOneEvent() {
    TrafficLock lock(trafficMutex);
    if (pendingEventCount <= 0) return;
    std::memcpy(lastShownHost, recentEvents[recentReadIndex].host, kNameSize);
    recentReadIndex = recentReadIndex + 1 == kRecentEventCapacity ? 0 : recentReadIndex + 1;
    --pendingEventCount;
}

// The addresses and ports the frame carries, checked against plain scans.
KESTRAVA_CHECK void checkLookupsOf(const uint8_t* data, size_t size) {
    TrafficLock lock(trafficMutex);
    int isIpv4 = -1;
    size_t transport = 0;
    if (size >= 34 && (data[14] >> 4) == 4) {
        for (size_t at : {26, 30}) {
            Address4 a;
            std::memcpy(&a, data + at, 4);
            checkLookup(nameTable4, a, lookupName4(a));
        }
        isIpv4 = 1;
        transport = 34;
    } else if (size >= 54 && (data[14] >> 4) == 6) {
        for (size_t at : {22, 38}) {
            Address6 a;
            std::memcpy(a.bytes, data + at, 16);
            checkLookup(nameTable6, a, lookupName6(a));
        }
        isIpv4 = 0;
        transport = 54;
    }
    if (isIpv4 >= 0 && size >= transport + 4) {
        for (size_t at : {transport, transport + 2})
            for (int isTcp = 0; isTcp < 2; ++isTcp)
                checkOwnerLookup(be16(data + at), isTcp, isIpv4);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    resetTrafficTables();
    resetOwnerTables();
    startShadows();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 14) return 0; // no hardware addresses to choose from
    const uint8_t control = data[size - 1];

    static const uint8_t otherMac[6] = {0x02, 0x77, 0x00, 0x00, 0x00, 0x01};
    const uint8_t* mac = (control & 3) < 2 ? data + 6 : (control & 3) == 2 ? data : otherMac;
    setLocalMacAddress(mac);
    publishTwoLineProcessNames((control >> 2) & 1);
    if (control & 0x08) rememberOwnerOf(data, size, (control & 0x10) != 0);

    // A buffer of exactly the frame's size, so any read past it is caught.
    std::unique_ptr<uint8_t[]> frame(new uint8_t[size]);
    std::memcpy(frame.get(), data, size);
    const int linkLayer = control >> 6;
    if (linkLayer < 2)
        handleFrame(frame.get(), uint32_t(size));
    else if (linkLayer == 2)
        handleLinuxCookedFrame(frame.get(), uint32_t(size));
    else
        handleLinuxCooked2Frame(frame.get(), uint32_t(size));

    if (control & 0x20) showOneEvent();
    checkLookupsOf(data, size);
    {
        TrafficLock lock(trafficMutex);
        checkTables();
    }
    return 0;
}
