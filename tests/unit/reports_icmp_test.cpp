// icmp.html rows: one per slot with a peer, numbered by slot; problem messages
// are failures unless the peer's name or address text is on the safe list.
#include "reports/reports.h"
#include "reports_test_util.h"

namespace {

std::string row(const std::string& c, int number, const std::string& reporter,
                const std::string& peer, const std::string& name, const std::string& type, int code,
                bool incoming) {
    return "<tr>" + c + std::to_string(number) + "</td>" + c + reporter + "</td>" + c + peer +
           "</td>" + c + name + "</td>" + c + type + "</td>" + c + std::to_string(code) + "</td>" +
           c + (incoming ? "受信" : "送信") + "</td></tr>\r\n";
}

using IcmpReportTest = ReportTest;

TEST_F(IcmpReportTest, RowsColouredByProblemAndSafeList) {
    useSafeList({"safe.example", "192.0.2.30", "fe80::1"});
    const Address4 router = addr4("10.0.0.1"), listed = addr4("192.0.2.30");
    message(icmpTable4[0], listed, listed, "notfound", 0, 0, 0, 1); // no problem: plain
    message(icmpTable4[1], addr4("192.0.2.31"), router, "safe.example", 11, 0, 1, 1);
    message(icmpTable4[2], addr4("192.0.2.32"), router, "other.example", 11, 1, 1, 1);
    message(icmpTable4[4], listed, router, "notfound", 8, 0, 1, 0);
    // A listed reporter does not excuse.
    message(icmpTable4[5], addr4("192.0.2.33"), listed, "notfound", 3, 3, 1, 1);
    message(icmpTable4[499], addr4("192.0.2.35"), router, "notfound", 200, 255, 1, 0);
    message(icmpTable6[1], addr6("fe80::2"), addr6("2001:db8:0:1::1"), "notfound", 135, 0, 0, 1);
    message(icmpTable6[2], addr6("fe80::2"), addr6("fe80::2"), "notfound", 128, 0, 1, 1);
    message(icmpTable6[3], addr6("fe80::1"), addr6("fe80::1"), "notfound", 3, 0, 1, 0);
    ASSERT_EQ(writeIcmpReport(nullptr), 0);
    const std::string rows4 =
        row(kPlain, 1, "192.0.2.30", "192.0.2.30", "notfound", "Echo Reply", 0, true) +
        row(kBlue, 2, "10.0.0.1", "192.0.2.31", "safe.example", "Time Exceeded", 0, true) +
        row(kRed, 3, "10.0.0.1", "192.0.2.32", "other.example", "Time Exceeded", 1, true) +
        row(kBlue, 5, "10.0.0.1", "192.0.2.30", "notfound", "Echo", 0, false) +
        row(kRed, 6, "192.0.2.30", "192.0.2.33", "notfound", "Destination Unreachable", 3, true) +
        row(kRed, 500, "10.0.0.1", "192.0.2.35", "notfound", "Unassigned", 255, false);
    const std::string rows6 =
        row(kPlain, 2, "2001:db8:0:1::1", "fe80::2", "notfound", "Neighbor Solicitation", 0, true) +
        row(kRed, 3, "fe80::2", "fe80::2", "notfound", "Echo Request", 0, true) +
        row(kBlue, 4, "fe80::1", "fe80::1", "notfound", "Time Exceeded", 0, false);
    EXPECT_EQ(
        report("icmp.html"),
        reportDocument(
            "ICMP",
            headerRow({"No.", "ICMP from|to", "IPv4 Target", "Name", "Type", "Code", "Direction"}),
            rows4,
            headerRow({"No.", "ICMP from|to", "IPv6 Target", "Name", "Type", "Code", "Direction"}),
            rows6));
}

} // namespace
