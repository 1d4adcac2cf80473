// Which local process owns which local TCP or UDP port.
//
// Captured frames carry ports, not processes. The user-interface thread fills
// these tables from the system's endpoint tables and its process list
// (refreshOwnerTable); the capture thread asks them for the owner of a port
// (findPortOwner). Each owner table is a ring of 1000 records: a new owner goes
// into the cursor's record, so an owner stays known after its endpoint closed
// until the ring comes round to it again.
//
// Threads: the user-interface thread is the only writer; every access from
// either thread holds `ownerMutex`, for one record written or one look-up.
// The capture thread takes it inside trafficMutex (findPortOwner while it
// handles a frame), so nothing may take trafficMutex while holding ownerMutex.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/platform.h"

constexpr int kProcessTableCapacity = 1024;
constexpr int kPortOwnerCapacity = 1000;
constexpr int kOwnerNameMax = 258; // characters kept of an owner's name

extern ProcessEntry processTable[kProcessTableCapacity];
extern int32_t processCount;

struct PortOwner {
    uint8_t isTcp = 1; // 1 TCP, 0 UDP
    uint16_t port = 0; // local port, host byte order
    char process[kOwnerNameMax + 1] = {};
};

extern PortOwner portOwners4[kPortOwnerCapacity];
extern PortOwner portOwners6[kPortOwnerCapacity];
extern int32_t portOwners4Next, portOwners6Next;

extern std::mutex ownerMutex;

// Back to the start state: every record TCP, port 0, no process; cursors 0;
// no process snapshot.
void resetOwnerTables();

// Stores (process, port, protocol) unless the table holds it already or the
// name is empty.
void rememberPortOwner4(const char* process, uint16_t port, uint8_t isTcp);
void rememberPortOwner6(const char* process, uint16_t port, uint8_t isTcp);

// Puts the owner of `port` into `out` (at least 259 bytes) and returns true;
// puts "notfound" and returns false when no record matches. The lowest-index
// matching record wins. isTcp: 1 TCP, 0 UDP; isIpv4: 1 IPv4, 0 IPv6.
bool findPortOwner(char* out, uint16_t port, int isTcp, int isIpv4);

// The executable name of process `pid` in processTable, or null.
const char* processNameOf(uint32_t pid);

// Retakes processTable from the system; a failed snapshot keeps the old one.
void snapshotProcesses();

// Remembers the owner of every row of one endpoint table, in row order.
void rememberEndpointOwners(EndpointTable table, const EndpointRow* rows, int count);

// Retakes the process list and all four endpoint tables (TCP and UDP over IPv4
// and IPv6) and remembers their owners. A table the system does not give is
// skipped; the owner tables keep what they had.
void refreshOwnerTable();
