// tcp.html rows: newest slot first, coloured by state, with the counts and the
// owning process (none offline: this platform has no endpoint tables).
#include <string>

#include "analysis/tcp.h"
#include "reports/reports.h"
#include "reports_test_util.h"
#include "support/test_support.h"

namespace {

const std::string kPlain = "<td>";
const std::string kRed = "<td style='background-color:#ff0'>";
const std::string kBlue = "<td style='background-color:#ddf'>";
const std::string kGrey = "<td style='background-color:#999'>";

struct Row {
    std::string cell;
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

// The status texts as the report shows them, by state.
const char* const kStatus[12] = {
    "SYN-SENT(受信)", "SYN-RECEIVED(送信)", "SYN-SENT(送信)", "SYN-RECEIVED(受信)",
    "ESTABLISHED",    "FIN-WAIT1",          "FIN-WAIT2",      "CLOSING",
    "CLOSE-WAIT",     "LAST-ACK",           "Reset CLOSED",   "CLOSED",
};

class TcpReportTest : public ReportTest {
  protected:
    Sections sections() {
        EXPECT_EQ(writeTcpReport(nullptr), 0);
        return reportSections(report("tcp.html"), reportHead("TCP"),
                              "<table>" + headerRow({"No.", "IPv4 Address", "Name", "Local Port",
                                                     "Total", "Resend", "Status", "Process"}),
                              headerRow({"No.", "IPv6 Address", "Name", "Local Port", "Total",
                                         "Resend", "Status", "Process"}));
    }
    template <class Record, class Address>
    static void connection(Record& r, Address remote, const char* name, uint16_t port,
                           uint8_t state, uint32_t packets, uint32_t repeats) {
        r.remote = remote;
        std::strcpy(r.name, name);
        r.port = port;
        r.state = state;
        r.packetCount = packets;
        r.repeatCount = repeats;
    }
};

TEST_F(TcpReportTest, RowClassFollowsTheState) {
    // One connection per state, all in different slots; the cursor at 12 makes
    // slot 11 the newest and slot 0 the oldest.
    for (uint8_t state = 0; state < 12; ++state)
        connection(tcpTable4[state], addr4(("192.0.2." + std::to_string(1 + state)).c_str()),
                   "host.example", uint16_t(50000 + state), state, 3, 0);
    tcpTable4Next = 12;
    std::string expected;
    for (int state = 11, number = 1; state >= 0; --state, ++number) {
        const std::string& cell = state >= 10 ? kGrey : state >= 4 ? kPlain : kRed;
        expected += row({cell, number, "192.0.2." + std::to_string(1 + state), "host.example",
                         50000 + state, 3, 0, kStatus[state], state >= 10 ? "-" : ""});
    }
    EXPECT_EQ(sections().first, expected);
}

TEST_F(TcpReportTest, NewestFirstRoundTheRingSkippingUnusedSlots) {
    connection(tcpTable4[0], addr4("192.0.2.10"), "a.example", 1000, kTcpEstablished, 5, 0);
    connection(tcpTable4[1], addr4("192.0.2.11"), "b.example", 1001, kTcpEstablished, 6, 0);
    connection(tcpTable4[3], addr4("192.0.2.13"), "d.example", 1003, kTcpEstablished, 7, 0);
    connection(tcpTable4[499], addr4("192.0.2.99"), "z.example", 1499, kTcpEstablished, 8, 0);
    tcpTable4Next = 2;
    const char* est = kStatus[kTcpEstablished];
    EXPECT_EQ(sections().first,
              row({kPlain, 1, "192.0.2.11", "b.example", 1001, 6, 0, est, ""}) +
                  row({kPlain, 2, "192.0.2.10", "a.example", 1000, 5, 0, est, ""}) +
                  row({kPlain, 3, "192.0.2.99", "z.example", 1499, 8, 0, est, ""}) +
                  row({kPlain, 4, "192.0.2.13", "d.example", 1003, 7, 0, est, ""}));
}

TEST_F(TcpReportTest, CursorAtZeroStartsAtTheLastSlot) {
    connection(tcpTable4[0], addr4("192.0.2.10"), "a.example", 1000, kTcpSynSent, 1, 0);
    connection(tcpTable4[499], addr4("192.0.2.99"), "z.example", 1499, kTcpSynSent, 2, 1);
    tcpTable4Next = 0;
    const char* sent = kStatus[kTcpSynSent];
    EXPECT_EQ(sections().first,
              row({kRed, 1, "192.0.2.99", "z.example", 1499, 2, 1, sent, ""}) +
                  row({kRed, 2, "192.0.2.10", "a.example", 1000, 1, 0, sent, ""}));
}

TEST_F(TcpReportTest, FailedAttemptsAreExcusedByNameOrAddressText) {
    useSafeList({"safe.example", "192.0.2.50", "2001:db8::50"});
    connection(tcpTable4[0], addr4("192.0.2.50"), "notfound", 80, kTcpSynSent, 2, 1);
    connection(tcpTable4[1], addr4("192.0.2.51"), "safe.example", 81, kTcpSynAckReceived, 1, 0);
    connection(tcpTable4[2], addr4("192.0.2.52"), "other.example", 82, kTcpSynAckSent, 1, 0);
    // A listed host that got established or closed keeps its usual colour.
    connection(tcpTable4[3], addr4("192.0.2.50"), "notfound", 83, kTcpEstablished, 4, 0);
    connection(tcpTable4[4], addr4("192.0.2.50"), "notfound", 84, kTcpResetClosed, 2, 0);
    tcpTable4Next = 5;
    connection(tcpTable6[0], addr6("2001:db8::50"), "notfound", 443, kTcpSynSent, 3, 2);
    connection(tcpTable6[1], addr6("2001:db8::51"), "notfound", 444, kTcpSynSent, 1, 0);
    tcpTable6Next = 2;
    Sections s = sections();
    EXPECT_EQ(s.first, row({kGrey, 1, "192.0.2.50", "notfound", 84, 2, 0, kStatus[10], "-"}) +
                           row({kPlain, 2, "192.0.2.50", "notfound", 83, 4, 0, kStatus[4], ""}) +
                           row({kRed, 3, "192.0.2.52", "other.example", 82, 1, 0, kStatus[1], ""}) +
                           row({kBlue, 4, "192.0.2.51", "safe.example", 81, 1, 0, kStatus[3], ""}) +
                           row({kBlue, 5, "192.0.2.50", "notfound", 80, 2, 1, kStatus[2], ""}));
    EXPECT_EQ(s.second, row({kRed, 1, "2001:db8::51", "notfound", 444, 1, 0, kStatus[2], ""}) +
                            row({kBlue, 2, "2001:db8::50", "notfound", 443, 3, 2, kStatus[2], ""}));
}

TEST_F(TcpReportTest, ResendIsRedOnlyWhenNotZero) {
    connection(tcpTable4[0], addr4("192.0.2.1"), "a.example", 1, kTcpEstablished, 10, 0);
    connection(tcpTable4[1], addr4("192.0.2.2"), "b.example", 2, kTcpEstablished, 10, 4);
    connection(tcpTable4[2], addr4("192.0.2.3"), "c.example", 3, kTcpClosed, 10, 3);
    tcpTable4Next = 3;
    EXPECT_EQ(sections().first,
              row({kGrey, 1, "192.0.2.3", "c.example", 3, 10, 3, kStatus[11], "-"}) +
                  row({kPlain, 2, "192.0.2.2", "b.example", 2, 10, 4, kStatus[4], ""}) +
                  row({kPlain, 3, "192.0.2.1", "a.example", 1, 10, 0, kStatus[4], ""}));
}

TEST_F(TcpReportTest, TrackedTrafficReachesTheReport) {
    // A handshake and a refused attempt run through the packet handler.
    resetAnalysisForTest();
    const Address4 me = addr4("192.0.2.100"), web = addr4("198.51.100.7");
    feedFrame(outgoing(ipv4Packet(me, web, 6, tcpSegment(40000, 80, 1, kSyn))));
    feedFrame(incoming(ipv4Packet(web, me, 6, tcpSegment(80, 40000, 9, kSyn | kAck))));
    feedFrame(outgoing(ipv4Packet(me, web, 6, tcpSegment(40000, 80, 2, kAck))));
    feedFrame(outgoing(ipv4Packet(me, web, 6, tcpSegment(40001, 81, 5, kSyn))));
    feedFrame(outgoing(ipv4Packet(me, web, 6, tcpSegment(40001, 81, 5, kSyn))));
    EXPECT_EQ(sections().first,
              row({kRed, 1, "198.51.100.7", "notfound", 40001, 2, 1, kStatus[2], ""}) +
                  row({kPlain, 2, "198.51.100.7", "notfound", 40000, 3, 0, kStatus[4], ""}));
}

} // namespace
