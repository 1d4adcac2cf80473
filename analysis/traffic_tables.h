// The traffic tables: everything the monitor learns from captured frames.
//
// Plain records in fixed arrays that live for the whole run. Every table is a
// ring: a new record goes into the slot at the table's cursor, the cursor then
// moves on and wraps, so once full the oldest slot is overwritten. Records that
// match a new observation are updated in place and never move. Nothing is ever
// removed, and nothing is persisted.
//
// Threads. The capture thread (handlePacket) is the only writer of these tables
// and the producer of the recent-event ring; the user-interface thread reads the
// tables (paint, reports) and consumes the ring. Every access from either
// thread happens while holding `trafficMutex`: the capture thread holds it for
// the handling of one frame (well under a microsecond); readers hold it for one
// record at a time (copy the record, release, then work on the copy), never
// across a whole paint or report. Every text field's last byte is only ever
// written with NUL, so even a torn copy can never be an unterminated text.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "analysis/addresses.h"

constexpr int kNameCapacity = 1000;
constexpr int kTcpCapacity = 500;
constexpr int kIcmpCapacity = 500;
constexpr int kProcessAddressCapacity = 1000;
constexpr int kRecentEventCapacity = 100;

constexpr int kNameSize = 256;        // host names: at most 255 characters
constexpr int kProcessNameSize = 260; // process names

// A name and the address it resolved to. `address` is zero while the name has
// been asked for but no answer has been seen.
template <class Address> struct NameRecord {
    Address address;
    char name[kNameSize];
    uint8_t noDot; // 1 when `name` holds no "."
};
using NameRecord4 = NameRecord<Address4>;
using NameRecord6 = NameRecord<Address6>;

// One TCP connection, keyed by (remote, local port).
template <class Address> struct TcpRecord {
    Address remote;
    char name[kNameSize]; // the remote's name when the record was made, else "notfound"
    uint16_t port;        // local port, host byte order
    uint32_t lastSeq;     // the 4 raw sequence-number bytes of the last segment counted
    uint8_t state;        // TcpState
    uint32_t packetCount; // 0 marks an empty slot
    uint32_t repeatCount; // segments repeating the previous sequence number in states 0 to 4
};
using TcpRecord4 = TcpRecord<Address4>;
using TcpRecord6 = TcpRecord<Address6>;

// The last ICMP message about one host, keyed by (peer, reporter).
template <class Address> struct IcmpRecord {
    Address peer;         // the host the message is about; zero in an empty slot
    Address reporter;     // the host that sent the message
    char name[kNameSize]; // the peer's name when the record was made, else "notfound"
    uint8_t type;
    uint8_t code;
    uint8_t isProblem; // the last message's type counts as a problem
    uint8_t incoming;  // 1 received, 0 sent by this host
};
using IcmpRecord4 = IcmpRecord<Address4>;
using IcmpRecord6 = IcmpRecord<Address6>;

// A remote address that a local process sent to. An empty `process` marks an empty slot.
template <class Address> struct ProcessAddress {
    Address address;
    char process[kProcessNameSize];
};
using ProcessAddress4 = ProcessAddress<Address4>;
using ProcessAddress6 = ProcessAddress<Address6>;

// Kinds of recent event.
constexpr uint8_t kEventTcp4 = 6;
constexpr uint8_t kEventUdp4 = 17;
constexpr uint8_t kEventTcp6 = 106;
constexpr uint8_t kEventUdp6 = 117;

// A host this machine just reached, waiting to be shown in the overlay.
struct RecentEvent {
    char host[kNameSize];           // the remote's name, or its address as text
    char process[kProcessNameSize]; // the owning process, or "notfound"
    uint8_t kind;                   // kEvent*, 0 in a slot never written
};

extern const char kNotFound[]; // "notfound": no name or owner was known

extern NameRecord4 nameTable4[kNameCapacity];
extern NameRecord6 nameTable6[kNameCapacity];
extern TcpRecord4 tcpTable4[kTcpCapacity];
extern TcpRecord6 tcpTable6[kTcpCapacity];
extern IcmpRecord4 icmpTable4[kIcmpCapacity];
extern IcmpRecord6 icmpTable6[kIcmpCapacity];
extern ProcessAddress4 processAddresses4[kProcessAddressCapacity];
extern ProcessAddress6 processAddresses6[kProcessAddressCapacity];

// Next-slot cursors.
extern int32_t nameTable4Next, nameTable6Next;
extern int32_t tcpTable4Next, tcpTable6Next;
extern int32_t icmpTable4Next, icmpTable6Next;
extern int32_t processAddresses4Next, processAddresses6Next;

// The recent-event ring. The producer increments `recentWriteIndex` before it
// writes (so the first event lands in slot 1) and adds 1 to `pendingEventCount`,
// which it never caps: with more than 100 pending, new events overwrite the
// oldest slots. The consumer (the overlay) shows slot `recentReadIndex`, then
// advances it and decrements `pendingEventCount`.
extern RecentEvent recentEvents[kRecentEventCapacity];
extern int32_t recentReadIndex; // starts at 1
extern int32_t recentWriteIndex;
extern int32_t pendingEventCount;
extern char lastShownHost[kNameSize]; // written by the consumer only

// Guards every table above, the ring and its indices. See the top of this file.
extern std::mutex trafficMutex;
using TrafficLock = std::lock_guard<std::mutex>;

// A copy of one record, taken under trafficMutex so that it is never half old,
// half new: how the user-interface thread reads the tables. Work on the copy
// with the lock released.
template <class Record> Record copyRecord(const Record& record) {
    TrafficLock lock(trafficMutex);
    return record;
}

// Set by the capture thread for every accepted IPv4 or IPv6 frame; cleared by
// the window after it refreshed the connection owner tables.
extern std::atomic<int32_t> ownerRefreshPending;

// The capture adapter's hardware address. Frames are analysed only once it is
// known. Written by the user-interface thread (the address before the flag).
extern std::atomic<bool> localAddressesLoaded;
extern uint8_t localMacAddress[6];
void setLocalMacAddress(const uint8_t mac[6]);

// The settings value the capture thread needs (twoLineProcessNames: events of
// unknown processes are not queued when it is non-zero). The user-interface
// thread publishes it after every change of the settings record.
void publishTwoLineProcessNames(int32_t value);
int32_t publishedTwoLineProcessNames();

// Empties every table, cursor, ring index and flag: the state at start-up
// (recentReadIndex 1). Not thread-safe: call before the capture thread runs.
void resetTrafficTables();

// Rebuilds the capture thread's look-up indexes from the records. Needed only
// after records were written directly (tests and benchmarks that fill tables
// by hand); every writer in this folder keeps the indexes in step itself.
void reindexTrafficTables();

// The name of the first record (from slot 0) whose address equals `address`,
// else "notfound". The caller holds trafficMutex (the capture thread does
// while it handles a frame).
const char* lookupName4(Address4 address);
const char* lookupName6(const Address6& address);
// The same, chosen by the address type, for code shared by both versions.
inline const char* lookupName(Address4 address) {
    return lookupName4(address);
}
inline const char* lookupName(const Address6& address) {
    return lookupName6(address);
}
