// icmp.html: the last ICMP or ICMPv6 message per (peer, reporter), slot by
// slot, with problem messages marked.
#include "analysis/icmp.h"
#include "reports/report_frame.h"
#include "reports/reports.h"
#include "settings/safe_list.h"

// One section: a row per slot with a peer, numbered by slot.
template <class Address, int N>
static void writeIcmpRows(ReportWriter& writer, const IcmpRecord<Address> (&table)[N],
                          const char* const* typeNames) {
    for (int slot = 0; slot < N; ++slot) {
        IcmpRecord<Address> record = copyRecord(table[slot]);
        if (isZeroAddress(record.peer)) continue;
        char peer[kAddressTextSize], reporter[kAddressTextSize];
        addressText(record.peer, peer);
        addressText(record.reporter, reporter);
        // Only problem messages are coloured; a safe-listed name or peer
        // address excuses them.
        const char* cell = kPlainCell;
        if (record.isProblem != 0)
            cell = isSafeListed(record.name) || isSafeListed(peer) ? kExcusedCell : kFailureCell;
        writeFragment(writer, "<tr>%s", cell);
        writeFragment(writer, "%d</td>%s%s</td>%s%s", slot + 1, cell, reporter, cell, peer);
        writeFragment(writer, "</td>%s%s", cell, record.name);
        writeFragment(writer, "</td>%s%s</td>%s%d", cell, typeNames[record.type], cell,
                      record.code);
        writeFragment(writer, "</td>%s%s</td></tr>\r\n", cell,
                      record.incoming != 0 ? "受信" : "送信");
    }
}

int32_t writeIcmpReport(WindowHandle owner) {
    ReportWriter writer;
    if (!beginReport(writer, "icmp.html", "icmp.htmlファイルをオープンできませんでした。", "ICMP",
                     owner))
        return -1;
    static const char* const labels4[] = {"No.",  "ICMP from|to", "IPv4 Target", "Name",
                                          "Type", "Code",         "Direction"};
    static const char* const labels6[] = {"No.",  "ICMP from|to", "IPv6 Target", "Name",
                                          "Type", "Code",         "Direction"};
    writeHeaderRow(writer, true, labels4, 7);
    writeIcmpRows(writer, icmpTable4, icmp4TypeNames.data());
    writeHeaderRow(writer, false, labels6, 7);
    writeIcmpRows(writer, icmpTable6, icmp6TypeNames.data());
    endReport(writer);
    return 0;
}
