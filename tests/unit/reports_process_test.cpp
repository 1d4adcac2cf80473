// process.html rows: grouped by process in the order of each process's first
// slot, rows of a group in slot order, with the remote's learnt name.
#include "reports/reports.h"
#include "reports_test_util.h"

namespace {

const std::string kMissing = "<td style='background-color:#ddd'>";

std::string row(int number, const std::string& processCell, const std::string& process,
                const std::string& address, const std::string& host = "") {
    return "<tr><td>" + std::to_string(number) + "</td>" + processCell + process + "</td><td>" +
           address + "</td>" + (host.empty() ? kMissing + "-" : "<td>" + host) + "</td></tr>\r\n";
}

template <class Record, class Address> void sent(Record& r, Address address, const char* process) {
    r.address = address;
    std::strcpy(r.process, process);
}

using ProcessReportTest = ReportTest;

TEST_F(ProcessReportTest, GroupsInOrderOfFirstSlotWithTheLowestSlotsName) {
    sent(processAddresses4[5], addr4("192.0.2.5"), "browser.exe");
    sent(processAddresses4[10], addr4("192.0.2.10"), "mail.exe");
    sent(processAddresses4[40], addr4("192.0.2.40"), "browser.exe");
    sent(processAddresses4[900], addr4("192.0.2.90"), "browser.exe");
    sent(processAddresses4[901], addr4("192.0.2.91"), "Browser.exe"); // another process
    sent(processAddresses4[999], addr4("192.0.2.99"), "notfound");
    nameRecord(nameTable4[1], "pending.example", Address4(0)); // no answer, no name
    nameRecord(nameTable4[2], "forty.example", addr4("192.0.2.40"));
    nameRecord(nameTable4[8], "later.example", addr4("192.0.2.40"));
    sent(processAddresses6[2], addr6("2001:db8::1"), "svc.exe");
    sent(processAddresses6[3], addr6("2001:db8::2"), "notfound");
    sent(processAddresses6[4], addr6("2001:db8::3"), "svc.exe");
    nameRecord(nameTable6[3], "three.example", addr6("2001:db8::3"));
    reindexTrafficTables(); // the tables were written directly
    ASSERT_EQ(writeProcessReport(nullptr), 0);
    // The IPv6 section numbers from 1 again and never greys the process.
    EXPECT_EQ(
        report("process.html"),
        reportDocument("プロセス", headerRow({"No.", "プロセス", "IPv4 Address", "Host Name"}),
                       row(1, kPlain, "browser.exe", "192.0.2.5") +
                           row(2, kPlain, "browser.exe", "192.0.2.40", "forty.example") +
                           row(3, kPlain, "browser.exe", "192.0.2.90") +
                           row(4, kPlain, "mail.exe", "192.0.2.10") +
                           row(5, kPlain, "Browser.exe", "192.0.2.91") +
                           row(6, kMissing, "notfound", "192.0.2.99"),
                       "<table>" + headerRow({"No.", "プロセス", "IPv6 Address", "Host Name"}),
                       row(1, kPlain, "svc.exe", "2001:db8::1") +
                           row(2, kPlain, "svc.exe", "2001:db8::3", "three.example") +
                           row(3, kPlain, "notfound", "2001:db8::2")));
}

} // namespace
