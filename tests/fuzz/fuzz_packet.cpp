// libFuzzer target: every input is one frame for the packet handler, Ethernet
// or Linux cooked.
//
// The traffic tables, the owner tables and the recent-event ring live on from
// one input to the next, as they do in the running program, so the rings wrap
// and the look-up indexes see overwrites. After every input the rules that no
// sanitizer sees are checked, and a broken one aborts the run: every text
// field ends with a NUL in its last byte; cursors stay inside their tables;
// TCP states and counts, ICMP problem flags and noDot agree with their rules;
// the look-up indexes hold exactly the keys of their records (a rebuild from
// the records changes nothing), so a look-up finds what a scan from slot 0
// finds; and findPortOwner, whose table keeps its own index, gives what such a
// scan gives.
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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "analysis/icmp.h"
#include "analysis/packet.h"
#include "analysis/table_index.h"
#include "analysis/tcp.h"
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

template <size_t N> KESTRAVA_CHECK void checkText(const char (&text)[N], const char* what, int i) {
    if (text[N - 1] != '\0') fail(what, i);
}

uint16_t be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

// The rules of each kind of record, the text fields first.
template <class A> KESTRAVA_CHECK void checkRecord(const NameRecord<A>& r, int i) {
    checkText(r.name, "name text", i);
    if (r.name[0] != '\0' && r.noDot != (std::strchr(r.name, '.') ? 0 : 1)) fail("noDot", i);
    if (std::strcmp(r.name, "*") == 0) fail("\"*\" stored", i);
}
template <class A> KESTRAVA_CHECK void checkRecord(const TcpRecord<A>& r, int i) {
    checkText(r.name, "TCP name text", i);
    if (r.state > kTcpClosed || r.repeatCount > r.packetCount) fail("TCP state or counts", i);
}
template <class A> KESTRAVA_CHECK void checkRecord(const IcmpRecord<A>& r, int i) {
    checkText(r.name, "ICMP name text", i);
    const auto& problemTypes = sizeof(A) == 4 ? icmp4ProblemTypes : icmp6ProblemTypes;
    if (r.isProblem != problemTypes[r.type] || r.incoming > 1) fail("ICMP flags", i);
}
template <class A> KESTRAVA_CHECK void checkRecord(const ProcessAddress<A>& r, int i) {
    checkText(r.process, "process text", i);
    if (r.process[kProcessNameSize - 2] != '\0') fail("process name too long", i);
}
KESTRAVA_CHECK void checkRecord(const RecentEvent& r, int i) {
    checkText(r.host, "recent host", i);
    checkText(r.process, "recent process", i);
}
KESTRAVA_CHECK void checkRecord(const PortOwner& r, int i) {
    checkText(r.process, "owner text", i);
}

// Every record by its rules, and the cursor inside the table.
template <class Record, int N>
KESTRAVA_CHECK void checkTable(const Record (&table)[N], int32_t next, const char* what) {
    if (next < 0 || next >= N) fail(what, next);
    for (int i = 0; i < N; ++i) checkRecord(table[i], i);
}

// The indexes as the writers left them, against a rebuild from the records.
struct Indexes {
    NameIndex<kNameCapacity> names4, names6;
    PairIndex<kTcpCapacity> tcp4, tcp6;
    PairIndex<kIcmpCapacity> icmp4, icmp6;
    PairIndex<kProcessAddressCapacity> processes4, processes6;
    PairIndex<kRecentEventCapacity> recent;
};
Indexes kept;

KESTRAVA_CHECK void checkIndexes() {
    kept = Indexes{nameIndex4, nameIndex6,    tcpIndex4,     tcpIndex6,      icmpIndex4,
                   icmpIndex6, processIndex4, processIndex6, recentHostIndex};
    reindexTrafficTables();
    const Indexes rebuilt{nameIndex4, nameIndex6,    tcpIndex4,     tcpIndex6,      icmpIndex4,
                          icmpIndex6, processIndex4, processIndex6, recentHostIndex};
    if (std::memcmp(&kept, &rebuilt, sizeof kept) != 0) fail("a look-up index", -1);
}

KESTRAVA_CHECK void checkTables() {
    checkTable(nameTable4, nameTable4Next, "nameTable4");
    checkTable(nameTable6, nameTable6Next, "nameTable6");
    checkTable(tcpTable4, tcpTable4Next, "tcpTable4");
    checkTable(tcpTable6, tcpTable6Next, "tcpTable6");
    checkTable(icmpTable4, icmpTable4Next, "icmpTable4");
    checkTable(icmpTable6, icmpTable6Next, "icmpTable6");
    checkTable(processAddresses4, processAddresses4Next, "processAddresses4");
    checkTable(processAddresses6, processAddresses6Next, "processAddresses6");
    checkTable(portOwners4, portOwners4Next, "portOwners4");
    checkTable(portOwners6, portOwners6Next, "portOwners6");
    checkTable(recentEvents, recentWriteIndex, "recentEvents");
    if (recentReadIndex < 0 || recentReadIndex >= kRecentEventCapacity || pendingEventCount < 0)
        fail("recent-event ring", recentReadIndex);
    checkText(lastShownHost, "lastShownHost", -1);
    checkIndexes();
}

// findPortOwner against a plain scan from slot 0 (the first match wins).
KESTRAVA_CHECK void checkOwnerLookup(uint16_t port, int isTcp, int isIpv4) {
    const PortOwner* table = isIpv4 ? portOwners4 : portOwners6;
    const char* expected = kNotFound;
    for (int i = kPortOwnerCapacity - 1; i >= 0; --i)
        if (table[i].port == port && table[i].isTcp == isTcp) expected = table[i].process;
    char found[kOwnerNameMax + 1];
    if (findPortOwner(found, port, isTcp, isIpv4) != (expected != kNotFound) ||
        std::strncmp(found, expected, kOwnerNameMax) != 0)
        fail("findPortOwner differs from a scan", port);
}

// The owners of the ports an Ethernet frame carries.
KESTRAVA_CHECK void checkOwnersOf(const uint8_t* data, size_t size) {
    const int version = size > 14 ? data[14] >> 4 : 0;
    const size_t transport = version == 4 ? 34 : 54;
    if ((version != 4 && version != 6) || size < transport + 4) return;
    TrafficLock lock(trafficMutex);
    for (size_t at : {transport, transport + 2})
        for (int isTcp = 0; isTcp < 2; ++isTcp)
            checkOwnerLookup(be16(data + at), isTcp, version == 4);
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
    (ipv4 ? rememberPortOwner4 : rememberPortOwner6)(name, port, isTcp);
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

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    resetTrafficTables();
    resetOwnerTables();
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
    static bool (*const handle[4])(const uint8_t*, uint32_t) = {
        handleFrame, handleFrame, handleLinuxCookedFrame, handleLinuxCooked2Frame};
    handle[control >> 6](frame.get(), uint32_t(size));

    if (control & 0x20) showOneEvent();
    checkOwnersOf(data, size);
    TrafficLock lock(trafficMutex);
    checkTables();
    return 0;
}
