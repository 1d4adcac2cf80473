// tcp.html: the tracked TCP connections, newest first, with their counts, state
// and, for connections being opened or established, the process that owns the
// local port now.
#include <vector>

#include "analysis/tcp.h"
#include "analysis/text.h"
#include "capture/owner_table.h"
#include "reports/report_frame.h"
#include "reports/reports.h"
#include "settings/safe_list.h"

// The owning process of each slot's local port, from the snapshots this report
// takes; empty when unknown. One run of the report at a time (user-interface
// thread), so they live here rather than on the stack.
static char slotProcessNames4[kTcpCapacity][kProcessNameSize];
static char slotProcessNames6[kTcpCapacity][kProcessNameSize];

// Rows of the system's TCP table considered per address family.
constexpr int kMaxEndpointRows = 500;

// Names the owner of every slot in states 0 to 4 whose local port a row of the
// system's table holds. A later row with the same port overwrites an earlier
// one, so the last owner in the system's order wins.
template <class Address, int N>
static void attributeOwners(EndpointTable which, const TcpRecord<Address> (&table)[N],
                            char (&names)[N][kProcessNameSize]) {
    std::vector<EndpointRow> rows;
    if (!platformEndpointTable(which, &rows) || rows.empty()) return;
    uint16_t port[N];
    uint8_t state[N];
    for (int slot = 0; slot < N; ++slot) {
        TrafficLock lock(trafficMutex);
        port[slot] = table[slot].port;
        state[slot] = table[slot].state;
    }
    int count = rows.size() < size_t(kMaxEndpointRows) ? int(rows.size()) : kMaxEndpointRows;
    for (int r = 0; r < count; ++r) {
        const char* exeName = processNameOf(rows[r].owningPid);
        for (int slot = 0; slot < N; ++slot) {
            if (port[slot] != rows[r].localPort || state[slot] > kTcpEstablished) continue;
            copyText(names[slot], exeName ? exeName : "", kProcessNameSize - 1);
        }
    }
}

// One section, newest record first: from the slot before the cursor backwards
// round the ring, skipping unused slots, numbered by rows written.
template <class Address, int N>
static void writeTcpRows(ReportWriter& writer, const TcpRecord<Address> (&table)[N],
                         const int32_t& cursor, const char (&names)[N][kProcessNameSize]) {
    int newest;
    {
        TrafficLock lock(trafficMutex);
        newest = cursor - 1;
    }
    int number = 0;
    for (int age = 0; age < N; ++age) {
        const int slot = (newest - age + N) % N;
        TcpRecord<Address> record = copyRecord(table[slot]);
        if (record.packetCount == 0) continue;
        char address[kAddressTextSize];
        addressText(record.remote, address);
        const char* cell = kPlainCell;
        bool closed = record.state == kTcpResetClosed || record.state == kTcpClosed;
        if (closed)
            cell = kClosedCell;
        else if (record.state < kTcpEstablished)
            cell = isSafeListed(record.name) || isSafeListed(address) ? kExcusedCell : kFailureCell;
        ++number;
        writeFragment(writer, "<tr>%s", cell);
        writeFragment(writer, "%d</td>%s%s", number, cell, address);
        writeFragment(writer, "</td>%s%s", cell, record.name);
        if (record.repeatCount != 0)
            writeFragment(
                writer, "</td>%s%d</td>%s%d</td>%s<span style='color:red'>%d</span></td>%s", cell,
                record.port, cell, int(record.packetCount), cell, int(record.repeatCount), cell);
        else
            writeFragment(writer, "</td>%s%d</td>%s%d</td>%s%d</td>%s", cell, record.port, cell,
                          int(record.packetCount), cell, int(record.repeatCount), cell);
        const char* status = record.state < 12 ? tcpStateNames[record.state] : "";
        writeFragment(writer, "%s</td>%s%s</td></tr>\r\n", status, cell,
                      closed ? "-" : names[slot]);
    }
}

int32_t writeTcpReport(WindowHandle owner) {
    for (int slot = 0; slot < kTcpCapacity; ++slot) {
        slotProcessNames4[slot][0] = '\0';
        slotProcessNames6[slot][0] = '\0';
    }
    snapshotProcesses();
    attributeOwners(EndpointTable::Tcp4, tcpTable4, slotProcessNames4);
    attributeOwners(EndpointTable::Tcp6, tcpTable6, slotProcessNames6);

    ReportWriter writer;
    if (!beginReport(writer, "tcp.html", "tcp.htmlファイルをオープンできませんでした。", "TCP",
                     owner))
        return -1;
    static const char* const labels4[] = {"No.",   "IPv4 Address", "Name",   "Local Port",
                                          "Total", "Resend",       "Status", "Process"};
    static const char* const labels6[] = {"No.",   "IPv6 Address", "Name",   "Local Port",
                                          "Total", "Resend",       "Status", "Process"};
    writeHeaderRow(writer, true, labels4, 8);
    writeTcpRows(writer, tcpTable4, tcpTable4Next, slotProcessNames4);
    writeHeaderRow(writer, false, labels6, 8);
    writeTcpRows(writer, tcpTable6, tcpTable6Next, slotProcessNames6);
    endReport(writer);
    return 0;
}
