// tcp.html rows: newest slot first, coloured by state, with the counts and the
// process that owns the local port of a connection being opened or established.
#include "analysis/tcp.h"
#include "reports/reports.h"
#include "reports_test_util.h"

namespace {

struct Row {
    const std::string& cell;
    int number;
    std::string address, name;
    int port, total, resend;
    std::string status, process;
};

std::string row(const Row& r) {
    const std::string& c = r.cell;
    std::string resend = std::to_string(r.resend);
    if (r.resend != 0) resend = "<span style='color:red'>" + resend + "</span>";
    return "<tr>" + c + std::to_string(r.number) + "</td>" + c + r.address + "</td>" + c + r.name +
           "</td>" + c + std::to_string(r.port) + "</td>" + c + std::to_string(r.total) + "</td>" +
           c + resend + "</td>" + c + r.status + "</td>" + c + r.process + "</td></tr>\r\n";
}

std::string tcpDocument(const std::string& rows4, const std::string& rows6) {
    return reportDocument("TCP",
                          headerRow({"No.", "IPv4 Address", "Name", "Local Port", "Total", "Resend",
                                     "Status", "Process"}),
                          rows4,
                          headerRow({"No.", "IPv6 Address", "Name", "Local Port", "Total", "Resend",
                                     "Status", "Process"}),
                          rows6);
}

class TcpReportTest : public ReportTest {
  protected:
    void TearDown() override {
        platformSetSnapshotHooks(nullptr);
        ReportTest::TearDown();
    }
    std::string written() {
        EXPECT_EQ(writeTcpReport(nullptr), 0);
        return report("tcp.html");
    }
};

TEST_F(TcpReportTest, RowsNewestFirstColouredByState) {
    useSafeList({"safe.example", "192.0.2.50", "2001:db8::50"});
    // The cursor at 2: slot 1 is the newest, then 0, 499, 498, ... down to 2.
    connection(tcpTable4[1], addr4("192.0.2.1"), "other.example", 81, 3, 2, 1);
    connection(tcpTable4[0], addr4("192.0.2.2"), "unused.example", 82, 4, 0, 9);
    connection(tcpTable4[499], addr4("192.0.2.4"), "est.example", 84, 4, 10, 0);
    connection(tcpTable4[498], addr4("192.0.2.9"), "last.example", 89, 9, 5, 2);
    connection(tcpTable4[10], addr4("192.0.2.50"), "notfound", 90, 10, 2, 3);
    connection(tcpTable4[3], addr4("192.0.2.3"), "safe.example", 80, 0, 1, 0);
    connection(tcpTable4[2], addr4("192.0.2.50"), "notfound", 82, 2, 3, 0);
    tcpTable4Next = 2;
    // The cursor at 0: slot 499 is the newest.
    connection(tcpTable6[0], addr6("2001:db8::1"), "notfound", 444, 1, 1, 0);
    connection(tcpTable6[499], addr6("2001:db8::50"), "notfound", 443, 2, 3, 2);
    tcpTable6Next = 0;
    EXPECT_EQ(
        written(),
        tcpDocument(
            row({kRed, 1, "192.0.2.1", "other.example", 81, 2, 1, "SYN-RECEIVED(受信)", ""}) +
                row({kPlain, 2, "192.0.2.4", "est.example", 84, 10, 0, "ESTABLISHED", ""}) +
                row({kPlain, 3, "192.0.2.9", "last.example", 89, 5, 2, "LAST-ACK", ""}) +
                row({kGrey, 4, "192.0.2.50", "notfound", 90, 2, 3, "Reset CLOSED", "-"}) +
                row({kBlue, 5, "192.0.2.3", "safe.example", 80, 1, 0, "SYN-SENT(受信)", ""}) +
                row({kBlue, 6, "192.0.2.50", "notfound", 82, 3, 0, "SYN-SENT(送信)", ""}),
            row({kBlue, 1, "2001:db8::50", "notfound", 443, 3, 2, "SYN-SENT(送信)", ""}) +
                row({kRed, 2, "2001:db8::1", "notfound", 444, 1, 0, "SYN-RECEIVED(送信)", ""})));
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
        connection(tcpTable4[i], addr4("192.0.2.1"), "h", c.port, c.state, 1, 0);
        rows4 = row({c.cell, 7 - i, "192.0.2.1", "h", c.port, 1, 0, c.status, c.process}) + rows4;
    }
    tcpTable4Next = 7;
    connection(tcpTable6[0], addr6("2001:db8::1"), "h", 1000, 4, 1, 0);
    tcpTable6Next = 1;
    EXPECT_EQ(written(), tcpDocument(rows4, row({kPlain, 1, "2001:db8::1", "h", 1000, 1, 0,
                                                 "ESTABLISHED", "web.exe"})));
    EXPECT_EQ(processCount, 2); // the snapshot stays for the owner look-ups
}

} // namespace
