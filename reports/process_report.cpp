// process.html: which process sent to which remote host, grouped by process in
// the order of each process's first slot, with the host's learnt name.
#include <cstring>

#include "analysis/text.h"
#include "reports/report_frame.h"
#include "reports/reports.h"

// The host-name cell: the name of the first name record with this address, or
// a grey "-" when none is known.
template <class Address> static void writeHostCell(ReportWriter& writer, const Address& address) {
    char host[kNameSize];
    {
        TrafficLock lock(trafficMutex);
        copyText(host, lookupName(address), kNameSize - 1);
    }
    if (std::strcmp(host, kNotFound) == 0)
        writeFragment(writer, "</td>%s-</td></tr>\r\n", kMissingCell);
    else
        writeFragment(writer, "</td><td>%s</td></tr>\r\n", host);
}

// One section. `markMissingProcess`: the IPv4 section greys a process cell
// that reads "notfound"; the IPv6 section writes every process cell plain.
// Rows are grouped from one copy of the table, taken a record at a time under
// the lock: each slot is read once, however many processes there are.
template <class Address, int N>
static void writeProcessRows(ReportWriter& writer, const ProcessAddress<Address> (&table)[N],
                             bool markMissingProcess) {
    static ProcessAddress<Address> rows[N]; // one report at a time (user-interface thread)
    for (int slot = 0; slot < N; ++slot) rows[slot] = copyRecord(table[slot]);
    bool done[N] = {};
    int number = 1;
    for (int first = 0; first < N; ++first) {
        const char* process = rows[first].process;
        if (done[first] || process[0] == '\0') continue;
        const char* processCell =
            markMissingProcess && std::strcmp(process, kNotFound) == 0 ? kMissingCell : kPlainCell;
        for (int slot = first; slot < N; ++slot) {
            if (done[slot] || std::strcmp(rows[slot].process, process) != 0) continue;
            char text[kAddressTextSize];
            addressText(rows[slot].address, text);
            writeFragment(writer, "<tr><td>%d</td>%s%s</td><td>", number, processCell, process);
            ++number;
            writeFragment(writer, "%s", text);
            writeHostCell(writer, rows[slot].address);
            done[slot] = true;
        }
    }
}

int32_t writeProcessReport(WindowHandle owner) {
    ReportWriter writer;
    if (!beginReport(writer, "process.html", "process.htmlファイルをオープンできませんでした。",
                     "プロセス", owner))
        return -1;
    static const char* const labels4[] = {"No.", "プロセス", "IPv4 Address", "Host Name"};
    static const char* const labels6[] = {"No.", "プロセス", "IPv6 Address", "Host Name"};
    writeHeaderRow(writer, true, labels4, 4);
    writeProcessRows(writer, processAddresses4, true);
    // The second section opens a new table without closing the first.
    writeHeaderRow(writer, true, labels6, 4);
    writeProcessRows(writer, processAddresses6, false);
    endReport(writer);
    return 0;
}
