// process.html, whose rows need process addresses, which the offline captures
// cannot make: grouped by process in the order of each process's first slot,
// rows of a group in slot order, with the remote's learnt name.
#include <cstring>

#include "reports/reports.h"
#include "reports_test_util.h"

namespace {

std::string row(int number, const std::string& processCell, const std::string& process,
                const std::string& address, const std::string& host = "") {
    return "<tr><td>" + std::to_string(number) + "</td>" + processCell + process + "</td><td>" +
           address + "</td>" + (host.empty() ? kMissing + "-" : "<td>" + host) + "</td></tr>\r\n";
}

template <class Record, class Address> void sent(Record& r, Address address, const char* process) {
    r.address = address;
    std::strcpy(r.process, process);
}
template <class Record, class Address> void named(Record& r, const char* name, Address address) {
    std::strcpy(r.name, name);
    r.address = address;
}

using ProcessReportTest = ReportTest;

TEST_F(ProcessReportTest, GroupsInOrderOfFirstSlotWithTheLowestSlotsName) {
    sent(processAddresses4[5], addr4("192.0.2.5"), "browser.exe");
    sent(processAddresses4[10], addr4("192.0.2.10"), "mail.exe");
    sent(processAddresses4[40], addr4("192.0.2.40"), "browser.exe");
    sent(processAddresses4[900], addr4("192.0.2.90"), "browser.exe");
    sent(processAddresses4[901], addr4("192.0.2.91"), "Browser.exe"); // another process
    sent(processAddresses4[999], addr4("192.0.2.99"), "notfound");
    named(nameTable4[1], "pending.example", Address4(0)); // no answer, no name
    named(nameTable4[2], "forty.example", addr4("192.0.2.40"));
    named(nameTable4[8], "later.example", addr4("192.0.2.40"));
    sent(processAddresses6[2], addr6("2001:db8::1"), "svc.exe");
    sent(processAddresses6[3], addr6("2001:db8::2"), "notfound");
    sent(processAddresses6[4], addr6("2001:db8::3"), "svc.exe");
    named(nameTable6[3], "three.example", addr6("2001:db8::3"));
    reindexTrafficTables(); // the tables were written directly
    ASSERT_EQ(writeProcessReport(nullptr), 0);
    // The IPv6 section opens a second table, numbers from 1 again and never
    // greys the process.
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

std::vector<std::string> shownMessages;
void recordMessage(const char* text, const char* caption, MessageIcon icon) {
    shownMessages.push_back(std::string(text) + "|" + caption +
                            (icon == MessageIcon::Error ? "|E" : "|?"));
}

// Every writer names its own file and returns nonzero; nothing is created.
TEST_F(ProcessReportTest, UncreatableFileNamesTheFile) {
    const std::string missing = directory + "/missing";
    setFileDirectory(FileRole::Report, missing.c_str());
    platformSetMessageBoxHook(recordMessage);
    const struct {
        int32_t (*write)(WindowHandle);
        const char* message;
    } cases[] = {
        {writeDnsReport, "dns.htmlファイルをオープンできませんでした。|OPEN ERROR|E"},
        {writeTcpReport, "tcp.htmlファイルをオープンできませんでした。|OPEN ERROR|E"},
        {writeIcmpReport, "icmp.htmlファイルをオープンできませんでした。|OPEN ERROR|E"},
        {writeProcessReport, "process.htmlファイルをオープンできませんでした。|OPEN ERROR|E"},
    };
    for (const auto& c : cases) {
        shownMessages.clear();
        EXPECT_NE(c.write(nullptr), 0);
        EXPECT_EQ(shownMessages, std::vector<std::string>{c.message});
    }
    platformSetMessageBoxHook(nullptr);
    EXPECT_FALSE(std::filesystem::exists(missing));
}

} // namespace
