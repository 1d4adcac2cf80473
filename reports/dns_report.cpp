// dns.html: every name asked for or learnt, slot by slot, with its address;
// names that never got one are marked.
#include "reports/report_frame.h"
#include "reports/reports.h"
#include "settings/safe_list.h"
#include "settings/settings.h"

// One section: a row per slot with a name, numbered by slot.
template <class Address, int N>
static void writeNameRows(ReportWriter& writer, const NameRecord<Address> (&table)[N]) {
    for (int slot = 0; slot < N; ++slot) {
        NameRecord<Address> record = copyRecord(table[slot]);
        if (record.name[0] == '\0') continue;
        // An answered name is a plain row whatever the safe list says; an
        // unanswered one is a failure unless excused. Only a flag of exactly 1
        // excuses dotless names here.
        char text[kAddressTextSize] = "Not resolved.";
        const char* cell = kPlainCell;
        if (!isZeroAddress(record.address))
            addressText(record.address, text);
        else if (isSafeListed(record.name) ||
                 (record.noDot != 0 && settings.ignoreDotlessNames == 1))
            cell = kExcusedCell;
        else
            cell = kFailureCell;
        writeFragment(writer, "<tr>%s%d</td>%s", cell, slot + 1, cell);
        writeFragment(writer, "%s</td>%s", record.name, cell);
        writeFragment(writer, "%s</td></tr>\r\n", text);
    }
}

int32_t writeDnsReport(WindowHandle owner) {
    ReportWriter writer;
    if (!beginReport(writer, "dns.html", "dns.htmlファイルをオープンできませんでした。", "DNS",
                     owner))
        return -1;
    static const char* const labels4[] = {"No.", "Name", "IPv4 Address"};
    static const char* const labels6[] = {"No.", "Name", "IPv6 Address"};
    writeHeaderRow(writer, true, labels4, 3);
    writeNameRows(writer, nameTable4);
    writeHeaderRow(writer, false, labels6, 3);
    writeNameRows(writer, nameTable6);
    endReport(writer);
    return 0;
}
