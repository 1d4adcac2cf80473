// process.html rows: grouped by process in the order of each process's first
// slot, rows of a group in slot order, with the remote's learnt name.
#include <string>

#include "reports/reports.h"
#include "reports_test_util.h"
#include "support/test_support.h"

namespace {

const std::string kGrey = "<td style='background-color:#ddd'>";

std::string hostCell(const std::string& host) {
    return host.empty() ? kGrey + "-" : "<td>" + host;
}
std::string row4(int number, const std::string& process, const std::string& address,
                 const std::string& host, bool greyProcess = false) {
    return "<tr><td>" + std::to_string(number) + "</td>" + (greyProcess ? kGrey : "<td>") +
           process + "</td><td>" + address + "</td>" + hostCell(host) + "</td></tr>\r\n";
}
std::string row6(int number, const std::string& process, const std::string& address,
                 const std::string& host) {
    return "<tr><td>" + std::to_string(number) + "</td><td>" + process + "</td><td>" + address +
           "</td>" + hostCell(host) + "</td></tr>\r\n";
}

class ProcessReportTest : public ReportTest {
  protected:
    Sections sections() {
        reindexTrafficTables(); // the tables were written directly
        EXPECT_EQ(writeProcessReport(nullptr), 0);
        return reportSections(
            report("process.html"), reportHead("プロセス"),
            "<table>" + headerRow({"No.", "プロセス", "IPv4 Address", "Host Name"}),
            "<table>" + headerRow({"No.", "プロセス", "IPv6 Address", "Host Name"}));
    }
    template <class Record, class Address>
    static void sent(Record& r, Address address, const char* process) {
        r.address = address;
        std::strcpy(r.process, process);
    }
};

TEST_F(ProcessReportTest, GroupsInOrderOfFirstSlot) {
    sent(processAddresses4[5], addr4("192.0.2.5"), "browser.exe");
    sent(processAddresses4[10], addr4("192.0.2.10"), "mail.exe");
    sent(processAddresses4[40], addr4("192.0.2.40"), "browser.exe");
    sent(processAddresses4[900], addr4("192.0.2.90"), "browser.exe");
    sent(processAddresses4[901], addr4("192.0.2.91"), "Browser.exe"); // another process
    sent(processAddresses4[999], addr4("192.0.2.99"), "mail.exe");
    nameTable4[3].address = addr4("192.0.2.40");
    std::strcpy(nameTable4[3].name, "forty.example");
    EXPECT_EQ(sections().first,
              row4(1, "browser.exe", "192.0.2.5", "") +
                  row4(2, "browser.exe", "192.0.2.40", "forty.example") +
                  row4(3, "browser.exe", "192.0.2.90", "") + row4(4, "mail.exe", "192.0.2.10", "") +
                  row4(5, "mail.exe", "192.0.2.99", "") + row4(6, "Browser.exe", "192.0.2.91", ""));
}

TEST_F(ProcessReportTest, HostNameComesFromTheLowestMatchingNameSlot) {
    sent(processAddresses4[0], addr4("192.0.2.7"), "app.exe");
    nameTable4[8].address = addr4("192.0.2.7");
    std::strcpy(nameTable4[8].name, "later.example");
    nameTable4[2].address = addr4("192.0.2.7");
    std::strcpy(nameTable4[2].name, "earlier.example");
    nameTable4[1].address = 0; // a pending name is no answer
    std::strcpy(nameTable4[1].name, "pending.example");
    EXPECT_EQ(sections().first, row4(1, "app.exe", "192.0.2.7", "earlier.example"));
}

TEST_F(ProcessReportTest, Ipv6SectionNumbersAgainAndNeverGreysTheProcess) {
    sent(processAddresses4[0], addr4("192.0.2.1"), "notfound");
    sent(processAddresses6[2], addr6("2001:db8::1"), "svc.exe");
    sent(processAddresses6[3], addr6("2001:db8::2"), "notfound");
    sent(processAddresses6[4], addr6("2001:db8::3"), "svc.exe");
    nameTable6[0].address = addr6("2001:db8::3");
    std::strcpy(nameTable6[0].name, "three.example");
    nameTable4[0].address = addr4("192.0.2.1"); // an IPv4 name does not name an IPv6 address
    std::strcpy(nameTable4[0].name, "one.example");
    Sections s = sections();
    EXPECT_EQ(s.first, row4(1, "notfound", "192.0.2.1", "one.example", true));
    EXPECT_EQ(s.second, row6(1, "svc.exe", "2001:db8::1", "") +
                            row6(2, "svc.exe", "2001:db8::3", "three.example") +
                            row6(3, "notfound", "2001:db8::2", ""));
}

TEST_F(ProcessReportTest, AFullTableOfOneProcessIsOneGroup) {
    for (int i = 0; i < kProcessAddressCapacity; ++i) {
        std::string address =
            "10.0." + std::to_string((i + 1) / 256) + "." + std::to_string((i + 1) % 256);
        sent(processAddresses4[i], addr4(address.c_str()), "a");
    }
    std::string first = sections().first;
    size_t rows = 0;
    for (size_t at = first.find("<tr>"); at != std::string::npos; at = first.find("<tr>", at + 1))
        ++rows;
    EXPECT_EQ(rows, 1000u);
    EXPECT_EQ(first.substr(0, first.find("\r\n") + 2), row4(1, "a", "10.0.0.1", ""));
    EXPECT_EQ(first.substr(first.rfind("<tr>")), row4(1000, "a", "10.0.3.232", ""));
}

} // namespace
