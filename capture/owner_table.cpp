#include "capture/owner_table.h"

#include <atomic>
#include <cstring>

#include "analysis/table_index.h"
#include "analysis/text.h"
#include "analysis/traffic_tables.h"

ProcessEntry processTable[kProcessTableCapacity];
int32_t processCount;

PortOwner portOwners4[kPortOwnerCapacity];
PortOwner portOwners6[kPortOwnerCapacity];
int32_t portOwners4Next, portOwners6Next;

std::mutex ownerMutex;

namespace {

// Look-up keys beside each owner table, as for the traffic tables: (protocol,
// port) for findPortOwner and the process name for the duplicate test.
struct OwnerIndex {
    alignas(64) uint32_t portKey[kPortOwnerCapacity];
    alignas(64) uint32_t processKey[kPortOwnerCapacity];
    // Set once an owner was stored. Until then every record is the start
    // state, so a look-up needs neither the lock nor a scan (offline, and
    // before the first refresh, that is every look-up).
    std::atomic<bool> stored;
};
OwnerIndex ownerIndex4, ownerIndex6;

constexpr uint32_t portKey(uint16_t port, uint8_t isTcp) {
    return uint32_t(isTcp) << 16 | port;
}

// The start state (every record TCP, port 0, no name) as an index.
void resetIndex(OwnerIndex& index) {
    for (int i = 0; i < kPortOwnerCapacity; ++i) {
        index.portKey[i] = portKey(0, 1);
        index.processKey[i] = 0;
    }
    index.stored.store(false, std::memory_order_relaxed);
}

bool indexReady = [] {
    resetIndex(ownerIndex4);
    resetIndex(ownerIndex6);
    return true;
}();

void rememberPortOwnerIn(PortOwner (&table)[kPortOwnerCapacity], int32_t& next, OwnerIndex& index,
                         const char* process, uint16_t port, uint8_t isTcp) {
    // Compare and store the name as it would be kept: cut to 258 bytes. The
    // whole buffer is stored, so the bytes after the text must be NUL as well.
    char name[kOwnerNameMax + 1] = {};
    copyText(name, process, kOwnerNameMax);
    if (name[0] == '\0') return;
    const uint32_t key = portKey(port, isTcp);
    const uint32_t nameKey = textKey(name);

    std::lock_guard<std::mutex> lock(ownerMutex);
    for (int i = findKey(index.processKey, kPortOwnerCapacity, nameKey, 0); i >= 0;
         i = findKey(index.processKey, kPortOwnerCapacity, nameKey, i + 1)) {
        if (index.portKey[i] == key && std::strcmp(table[i].process, name) == 0) return;
    }
    PortOwner& record = table[next];
    std::memcpy(record.process, name, sizeof name);
    record.isTcp = isTcp;
    record.port = port;
    index.portKey[next] = key;
    index.processKey[next] = nameKey;
    index.stored.store(true, std::memory_order_release);
    next = next + 1 == kPortOwnerCapacity ? 0 : next + 1;
}

} // namespace

void resetOwnerTables() {
    std::lock_guard<std::mutex> lock(ownerMutex);
    for (PortOwner* table : {portOwners4, portOwners6})
        for (int i = 0; i < kPortOwnerCapacity; ++i) table[i] = PortOwner{};
    resetIndex(ownerIndex4);
    resetIndex(ownerIndex6);
    portOwners4Next = portOwners6Next = 0;
    std::memset(processTable, 0, sizeof processTable);
    processCount = 0;
}

void rememberPortOwner4(const char* process, uint16_t port, uint8_t isTcp) {
    rememberPortOwnerIn(portOwners4, portOwners4Next, ownerIndex4, process, port, isTcp);
}

void rememberPortOwner6(const char* process, uint16_t port, uint8_t isTcp) {
    rememberPortOwnerIn(portOwners6, portOwners6Next, ownerIndex6, process, port, isTcp);
}

bool findPortOwner(char* out, uint16_t port, int isTcp, int isIpv4) {
    const PortOwner* table = isIpv4 ? portOwners4 : portOwners6;
    const OwnerIndex& index = isIpv4 ? ownerIndex4 : ownerIndex6;
    const uint32_t key = portKey(port, uint8_t(isTcp ? 1 : 0));
    if (!index.stored.load(std::memory_order_acquire)) {
        // Only start-state records (TCP, port 0, no name): a TCP look-up of
        // port 0 finds the empty name, any other finds nothing.
        if (key != portKey(0, 1)) {
            std::strcpy(out, kNotFound);
            return false;
        }
        out[0] = '\0';
        return true;
    }

    std::lock_guard<std::mutex> lock(ownerMutex);
    // The lowest matching record wins, not the newest: after a port changed
    // hands the older owner is reported until the ring overwrites it.
    int i = findKey(index.portKey, kPortOwnerCapacity, key, 0);
    if (i < 0) {
        std::strcpy(out, kNotFound);
        return false;
    }
    copyText(out, table[i].process, kOwnerNameMax);
    return true;
}

const char* processNameOf(uint32_t pid) {
    for (int i = 0; i < processCount; ++i)
        if (processTable[i].processId == pid) return processTable[i].exeName;
    return nullptr;
}

void snapshotProcesses() {
    static ProcessEntry fresh[kProcessTableCapacity];
    int count = platformSnapshotProcesses(fresh, kProcessTableCapacity);
    if (count < 0) return; // a failed snapshot keeps the previous list
    std::memcpy(processTable, fresh, sizeof(ProcessEntry) * size_t(count));
    processCount = count;
}

void rememberEndpointOwners(EndpointTable table, const EndpointRow* rows, int count) {
    const bool ipv4 = table == EndpointTable::Tcp4 || table == EndpointTable::Udp4;
    const uint8_t isTcp = table == EndpointTable::Tcp4 || table == EndpointTable::Tcp6;
    for (int i = 0; i < count; ++i) {
        const char* name = processNameOf(rows[i].owningPid);
        if (!name) continue; // unknown processes give an empty name, which is not stored
        if (ipv4) {
            rememberPortOwner4(name, rows[i].localPort, isTcp);
        } else {
            rememberPortOwner6(name, rows[i].localPort, isTcp);
        }
    }
}

void refreshOwnerTable() {
    snapshotProcesses();
    std::vector<EndpointRow> rows;
    for (EndpointTable table :
         {EndpointTable::Tcp4, EndpointTable::Tcp6, EndpointTable::Udp4, EndpointTable::Udp6}) {
        rows.clear();
        if (!platformEndpointTable(table, &rows) || rows.empty()) continue;
        rememberEndpointOwners(table, rows.data(), int(rows.size()));
    }
}
