// icmp.html rows: one per slot with a peer, numbered by slot; problem messages
// are failures unless the peer's name or address text is on the safe list.
#include <string>

#include "reports/reports.h"
#include "reports_test_util.h"
#include "support/test_support.h"

namespace {

const std::string kPlain = "<td>";
const std::string kRed = "<td style='background-color:#ff0'>";
const std::string kBlue = "<td style='background-color:#ddf'>";

std::string row(const std::string& c, int number, const std::string& reporter,
                const std::string& peer, const std::string& name, const std::string& type, int code,
                bool incoming) {
    return "<tr>" + c + std::to_string(number) + "</td>" + c + reporter + "</td>" + c + peer +
           "</td>" + c + name + "</td>" + c + type + "</td>" + c + std::to_string(code) + "</td>" +
           c + (incoming ? "受信" : "送信") + "</td></tr>\r\n";
}

class IcmpReportTest : public ReportTest {
  protected:
    Sections sections() {
        EXPECT_EQ(writeIcmpReport(nullptr), 0);
        return reportSections(
            report("icmp.html"), reportHead("ICMP"),
            "<table>" + headerRow({"No.", "ICMP from|to", "IPv4 Target", "Name", "Type", "Code",
                                   "Direction"}),
            headerRow({"No.", "ICMP from|to", "IPv6 Target", "Name", "Type", "Code", "Direction"}));
    }
    template <class Record, class Address>
    static void message(Record& r, Address peer, Address reporter, const char* name, uint8_t type,
                        uint8_t code, uint8_t problem, uint8_t incoming) {
        r.peer = peer;
        r.reporter = reporter;
        std::strcpy(r.name, name);
        r.type = type;
        r.code = code;
        r.isProblem = problem;
        r.incoming = incoming;
    }
};

TEST_F(IcmpReportTest, Ipv4RowsColouredByProblemAndSafeList) {
    useSafeList({"safe.example", "192.0.2.30"});
    const Address4 router = addr4("10.0.0.1");
    // An answered echo to a listed host: plain.
    message(icmpTable4[0], addr4("192.0.2.30"), addr4("192.0.2.30"), "notfound", 0, 0, 0, 1);
    // Time exceeded about a listed name: excused.
    message(icmpTable4[1], addr4("192.0.2.31"), router, "safe.example", 11, 0, 1, 1);
    // The next one, about a host not listed: failure.
    message(icmpTable4[2], addr4("192.0.2.32"), router, "other.example", 11, 1, 1, 1);
    // An unanswered echo to a listed address without a name: excused.
    message(icmpTable4[4], addr4("192.0.2.30"), addr4("192.0.2.30"), "notfound", 8, 0, 1, 0);
    // The reporter's address does not excuse.
    message(icmpTable4[5], addr4("192.0.2.33"), addr4("192.0.2.30"), "notfound", 3, 3, 1, 1);
    // Type names: one with a trailing space, one unassigned.
    message(icmpTable4[6], addr4("192.0.2.34"), addr4("192.0.2.34"), "notfound", 16, 0, 0, 1);
    message(icmpTable4[499], addr4("192.0.2.35"), addr4("192.0.2.35"), "notfound", 200, 255, 1, 0);
    Sections s = sections();
    EXPECT_EQ(
        s.first,
        row(kPlain, 1, "192.0.2.30", "192.0.2.30", "notfound", "Echo Reply", 0, true) +
            row(kBlue, 2, "10.0.0.1", "192.0.2.31", "safe.example", "Time Exceeded", 0, true) +
            row(kRed, 3, "10.0.0.1", "192.0.2.32", "other.example", "Time Exceeded", 1, true) +
            row(kBlue, 5, "192.0.2.30", "192.0.2.30", "notfound", "Echo", 0, false) +
            row(kRed, 6, "192.0.2.30", "192.0.2.33", "notfound", "Destination Unreachable", 3,
                true) +
            row(kPlain, 7, "192.0.2.34", "192.0.2.34", "notfound", "Information Reply ", 0, true) +
            row(kRed, 500, "192.0.2.35", "192.0.2.35", "notfound", "Unassigned", 255, false));
    EXPECT_EQ(s.second, "");
}

TEST_F(IcmpReportTest, Ipv6RowsUseTheirOwnTypeNamesAndAddressTexts) {
    useSafeList({"fe80::1"});
    message(icmpTable6[0], addr6("fe80::2"), addr6("fe80::2"), "notfound", 135, 0, 0, 1);
    message(icmpTable6[1], addr6("fe80::2"), addr6("fe80::2"), "notfound", 128, 0, 1, 1);
    message(icmpTable6[3], addr6("2001:db8::9"), addr6("2001:db8:0:1::1"), "far.example", 3, 0, 1,
            1);
    message(icmpTable6[4], addr6("fe80::1"), addr6("fe80::1"), "notfound", 128, 0, 1, 0);
    Sections s = sections();
    EXPECT_EQ(s.first, "");
    EXPECT_EQ(s.second,
              row(kPlain, 1, "fe80::2", "fe80::2", "notfound", "Neighbor Solicitation", 0, true) +
                  row(kRed, 2, "fe80::2", "fe80::2", "notfound", "Echo Request", 0, true) +
                  row(kRed, 4, "2001:db8:0:1::1", "2001:db8::9", "far.example", "Time Exceeded", 0,
                      true) +
                  row(kBlue, 5, "fe80::1", "fe80::1", "notfound", "Echo Request", 0, false));
}

TEST_F(IcmpReportTest, TrackedEchoesReachTheReport) {
    // A ping answered and one not answered, run through the packet handler.
    resetAnalysisForTest();
    const Address4 me = addr4("192.0.2.100"), a = addr4("198.51.100.1"), b = addr4("198.51.100.2");
    feedFrame(outgoing(ipv4Packet(me, a, 1, icmpMessage(8, 0))));
    feedFrame(incoming(ipv4Packet(a, me, 1, icmpMessage(0, 0))));
    feedFrame(outgoing(ipv4Packet(me, b, 1, icmpMessage(8, 0))));
    EXPECT_EQ(sections().first,
              row(kPlain, 1, "198.51.100.1", "198.51.100.1", "notfound", "Echo Reply", 0, true) +
                  row(kRed, 2, "198.51.100.2", "198.51.100.2", "notfound", "Echo", 0, false));
}

} // namespace
