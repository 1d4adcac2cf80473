// The report writers where the offline captures cannot reach (the golden
// tests show every other rule): tcp.html newest first round the ring and with
// the owners of local ports from the report's own snapshots, and process.html,
// whose rows need process addresses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture/owner_table.h"
#include "reports/reports.h"
#include "settings/safe_list.h"
#include "settings/settings.h"
#include "support/test_support.h"

namespace {

const std::string kPlain = "<td>";
const std::string kRed = "<td style='background-color:#ff0'>";
const std::string kGrey = "<td style='background-color:#999'>";
const std::string kMissing = "<td style='background-color:#ddd'>";

// Empty tables, default settings, an empty safe list, reports into a fresh
// scratch directory.
class ReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetTrafficTables();
        resetOwnerTables();
        applyDefaultSettings();
        useSafeListCount(0);
        char pattern[] = "/tmp/kestrava-reports-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        setFileDirectory(FileRole::Report, directory.c_str());
    }
    void TearDown() override {
        platformSetSnapshotHooks(nullptr);
        setFileDirectory(FileRole::Report, nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    // A report from its first table on (the golden tests check the head).
    std::string tables(const char* name) const {
        std::ifstream in(directory + "/" + name, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        return text.substr(std::min(text.find("<table>"), text.size()));
    }
    std::string directory;
};

// A header row of white-on-black headings.
std::string headerRow(std::initializer_list<const char*> labels) {
    std::string row = "<tr>";
    for (const char* label : labels)
        row += std::string("<td style='color:#fff;background-color:#000'>") + label + "</td>";
    return row + "</tr>\r\n";
}
const std::string kEnd = "</table>\r\n</body></html>\r\n";

template <class Record, class Address>
void connection(Record& r, Address remote, uint16_t port, uint8_t state, uint32_t packets) {
    r.remote = remote;
    std::strcpy(r.name, "h");
    r.port = port;
    r.state = state;
    r.packetCount = packets;
}

std::string tcpRow(const std::string& c, int number, const std::string& address, int port,
                   int total, const char* status, const char* process) {
    return "<tr>" + c + std::to_string(number) + "</td>" + c + address + "</td>" + c + "h</td>" +
           c + std::to_string(port) + "</td>" + c + std::to_string(total) + "</td>" + c + "0</td>" +
           c + status + "</td>" + c + process + "</td></tr>\r\n";
}

std::string tcpDocument(const std::string& rows4, const std::string& rows6) {
    auto header = [](const char* address) {
        return headerRow(
            {"No.", address, "Name", "Local Port", "Total", "Resend", "Status", "Process"});
    };
    return "<table>" + header("IPv4 Address") + rows4 + header("IPv6 Address") + rows6 + kEnd;
}

TEST_F(ReportTest, TcpRowsNewestFirstRoundTheRing) {
    // The cursor at 2: slot 1 is the newest, then 0 (unused), 499, 498 and 2.
    connection(tcpTable4[1], addr4("192.0.2.1"), 81, 4, 1);
    connection(tcpTable4[0], addr4("192.0.2.2"), 82, 4, 0);
    connection(tcpTable4[499], addr4("192.0.2.4"), 84, 4, 4);
    connection(tcpTable4[498], addr4("192.0.2.9"), 89, 4, 9);
    connection(tcpTable4[2], addr4("192.0.2.3"), 83, 4, 3);
    tcpTable4Next = 2;
    // The cursor at 0: slot 499 is the newest.
    connection(tcpTable6[0], addr6("2001:db8::1"), 444, 4, 1);
    connection(tcpTable6[499], addr6("2001:db8::50"), 443, 4, 2);
    ASSERT_EQ(writeTcpReport(nullptr), 0);
    const char* e = "ESTABLISHED";
    EXPECT_EQ(tables("tcp.html"), tcpDocument(tcpRow(kPlain, 1, "192.0.2.1", 81, 1, e, "") +
                                                  tcpRow(kPlain, 2, "192.0.2.4", 84, 4, e, "") +
                                                  tcpRow(kPlain, 3, "192.0.2.9", 89, 9, e, "") +
                                                  tcpRow(kPlain, 4, "192.0.2.3", 83, 3, e, ""),
                                              tcpRow(kPlain, 1, "2001:db8::50", 443, 2, e, "") +
                                                  tcpRow(kPlain, 2, "2001:db8::1", 444, 1, e, "")));
}

int twoProcesses(ProcessEntry* out, int capacity) {
    EXPECT_EQ(capacity, kProcessTableCapacity);
    out[0] = ProcessEntry{100, "web.exe"};
    out[1] = ProcessEntry{200, "mail.exe"};
    return 2;
}

// TCP over IPv4: port 1000 owned by 100 then 200; 2000 by 100 then by an
// unknown process; 3000 by 100; 501 rows in all, 5000 in the 500th, 4000 in
// the 501st. TCP over IPv6: port 1000 owned by 100.
bool tcpEndpoints(EndpointTable table, std::vector<EndpointRow>* rows) {
    if (table == EndpointTable::Tcp6) *rows = {{100, 1000}};
    if (table != EndpointTable::Tcp4) return table == EndpointTable::Tcp6;
    *rows = {{100, 1000}, {200, 1000}, {100, 2000}, {999, 2000}, {100, 3000}};
    rows->resize(499, EndpointRow{100, 9});
    rows->push_back({200, 5000});
    rows->push_back({200, 4000});
    return true;
}

TEST_F(ReportTest, TcpOwnersOfLocalPortsFromFreshSnapshots) {
    const SnapshotHooks hooks = {twoProcesses, tcpEndpoints};
    platformSetSnapshotHooks(&hooks);
    const struct {
        uint16_t port;
        uint8_t state;
        const std::string& cell;
        const char *status, *process;
    } slots[] = {
        {1000, 4, kPlain, "ESTABLISHED", "mail.exe"}, {2000, 4, kPlain, "ESTABLISHED", ""},
        {3000, 0, kRed, "SYN-SENT(受信)", "web.exe"}, {3000, 5, kPlain, "FIN-WAIT1", ""},
        {3000, 10, kGrey, "Reset CLOSED", "-"},       {5000, 4, kPlain, "ESTABLISHED", "mail.exe"},
        {4000, 4, kPlain, "ESTABLISHED", ""}};
    std::string rows4; // newest first: slot 6 down to slot 0
    for (int i = 0; i < 7; ++i) {
        const auto& c = slots[i];
        connection(tcpTable4[i], addr4("192.0.2.1"), c.port, c.state, 1);
        rows4 = tcpRow(c.cell, 7 - i, "192.0.2.1", c.port, 1, c.status, c.process) + rows4;
    }
    tcpTable4Next = 7;
    connection(tcpTable6[0], addr6("2001:db8::1"), 1000, 4, 1);
    tcpTable6Next = 1;
    ASSERT_EQ(writeTcpReport(nullptr), 0);
    EXPECT_EQ(tables("tcp.html"), tcpDocument(rows4, tcpRow(kPlain, 1, "2001:db8::1", 1000, 1,
                                                            "ESTABLISHED", "web.exe")));
    EXPECT_EQ(processCount, 2); // the snapshot stays for the owner look-ups
}

std::string processRow(int number, const std::string& processCell, const std::string& process,
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

TEST_F(ReportTest, ProcessGroupsInOrderOfFirstSlotWithTheLowestSlotsName) {
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
    EXPECT_EQ(tables("process.html"),
              "<table>" + headerRow({"No.", "プロセス", "IPv4 Address", "Host Name"}) +
                  processRow(1, kPlain, "browser.exe", "192.0.2.5") +
                  processRow(2, kPlain, "browser.exe", "192.0.2.40", "forty.example") +
                  processRow(3, kPlain, "browser.exe", "192.0.2.90") +
                  processRow(4, kPlain, "mail.exe", "192.0.2.10") +
                  processRow(5, kPlain, "Browser.exe", "192.0.2.91") +
                  processRow(6, kMissing, "notfound", "192.0.2.99") + "<table>" +
                  headerRow({"No.", "プロセス", "IPv6 Address", "Host Name"}) +
                  processRow(1, kPlain, "svc.exe", "2001:db8::1") +
                  processRow(2, kPlain, "svc.exe", "2001:db8::3", "three.example") +
                  processRow(3, kPlain, "notfound", "2001:db8::2") + kEnd);
}

} // namespace
