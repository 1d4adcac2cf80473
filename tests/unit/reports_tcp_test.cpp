// tcp.html where the offline captures cannot reach: the rows newest first round
// the ring, and the process that owns the local port of a connection being
// opened or established, from snapshots the report takes itself.
#include <cstring>

#include "reports/reports.h"
#include "reports_test_util.h"

namespace {

template <class Record, class Address>
void connection(Record& r, Address remote, uint16_t port, uint8_t state, uint32_t packets) {
    r.remote = remote;
    std::strcpy(r.name, "h");
    r.port = port;
    r.state = state;
    r.packetCount = packets;
}

std::string row(const std::string& c, int number, const std::string& address, int port, int total,
                const char* status, const char* process) {
    return "<tr>" + c + std::to_string(number) + "</td>" + c + address + "</td>" + c + "h</td>" +
           c + std::to_string(port) + "</td>" + c + std::to_string(total) + "</td>" + c + "0</td>" +
           c + status + "</td>" + c + process + "</td></tr>\r\n";
}

std::string tcpDocument(const std::string& rows4, const std::string& rows6) {
    auto header = [](const char* address) {
        return headerRow(
            {"No.", address, "Name", "Local Port", "Total", "Resend", "Status", "Process"});
    };
    return reportDocument("TCP", header("IPv4 Address"), rows4, header("IPv6 Address"), rows6);
}

using TcpReportTest = ReportTest;

TEST_F(TcpReportTest, RowsNewestFirstRoundTheRing) {
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
    EXPECT_EQ(report("tcp.html"), tcpDocument(row(kPlain, 1, "192.0.2.1", 81, 1, e, "") +
                                                  row(kPlain, 2, "192.0.2.4", 84, 4, e, "") +
                                                  row(kPlain, 3, "192.0.2.9", 89, 9, e, "") +
                                                  row(kPlain, 4, "192.0.2.3", 83, 3, e, ""),
                                              row(kPlain, 1, "2001:db8::50", 443, 2, e, "") +
                                                  row(kPlain, 2, "2001:db8::1", 444, 1, e, "")));
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

TEST_F(TcpReportTest, OwnerOfTheLocalPortFromFreshSnapshots) {
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
        rows4 = row(c.cell, 7 - i, "192.0.2.1", c.port, 1, c.status, c.process) + rows4;
    }
    tcpTable4Next = 7;
    connection(tcpTable6[0], addr6("2001:db8::1"), 1000, 4, 1);
    tcpTable6Next = 1;
    ASSERT_EQ(writeTcpReport(nullptr), 0);
    EXPECT_EQ(report("tcp.html"),
              tcpDocument(rows4, row(kPlain, 1, "2001:db8::1", 1000, 1, "ESTABLISHED", "web.exe")));
    EXPECT_EQ(processCount, 2); // the snapshot stays for the owner look-ups
}

} // namespace
