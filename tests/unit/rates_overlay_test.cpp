// The three overlay rates and their label texts. Safe-listed hosts are left
// out of numerator and denominator alike.
#include "analysis/tcp.h"
#include "app/rates.h"
#include "reports_test_util.h"

namespace {

using RatesTest = ReportTest;

TEST_F(RatesTest, EmptyTablesAndLabelTexts) {
    auto texts = [](const Rates& r) {
        const RateTexts t = formatRateTexts(r);
        return std::string(t.dns) + t.tcp + t.icmp;
    };
    EXPECT_EQ(texts(computeRates()), "DNS   0%TCP   0%ICMP   0%");
    EXPECT_EQ(texts(Rates{67, 100, 5}), "DNS  33%TCP 100%ICMP   5%"); // DNS: the unanswered share
}

TEST_F(RatesTest, DnsResolvedShareOfNamedRecords) {
    nameRecord(nameTable4[0], "a.example", addr4("192.0.2.1"));
    nameRecord(nameTable4[1], "b.example", Address4(0));
    nameRecord(nameTable4[2], "FILESERVER", Address4(0), 1);
    nameRecord(nameTable6[0], "d.example", addr6("2001:db8::4"));
    nameRecord(nameTable6[1], "PRINTER", Address6{}, 1);
    nameRecord(nameTable6[2], "f.example", Address6{});
    const struct {
        std::vector<std::string> safe;
        int32_t ignoreDotless;
        int resolved;
    } cases[] = {
        {{}, 0, 2 * 100 / 6},
        {{"b.example"}, 0, 2 * 100 / 5},              // an unanswered name out of both
        {{"a.example"}, 0, 1 * 100 / 5},              // an answered one out of both
        {{"192.0.2.1", "B.example"}, 0, 2 * 100 / 6}, // names only, exact
        {{}, 1, 2 * 100 / 4},                         // no dotless names
        {{}, 7, 2 * 100 / 4},                         // any non-zero value
        {{"b.example", "f.example"}, 1, 100},
    };
    for (const auto& c : cases) {
        useSafeList(c.safe);
        settings.ignoreDotlessNames = c.ignoreDotless;
        EXPECT_EQ(computeRates().dnsResolvedPercent, c.resolved)
            << testing::PrintToString(c.safe) << c.ignoreDotless;
    }
    // Answered records without a name are resolved but not asked for: 3 of 2.
    nameTable4[3].address = addr4("192.0.2.9");
    EXPECT_EQ(computeRates().dnsResolvedPercent, 100);
}

TEST_F(RatesTest, TcpErrorsArePacketsOfUnestablishedConnectionsAndRepeats) {
    connection(tcpTable4[0], addr4("192.0.2.1"), "notfound", 1, kTcpSynAckReceived, 4, 2); // 4
    connection(tcpTable4[1], addr4("192.0.2.2"), "safe.example", 1, kTcpSynSent, 2, 0);    // 2
    connection(tcpTable4[2], addr4("192.0.2.3"), "c.example", 1, kTcpEstablished, 10, 2);  // 2
    connection(tcpTable4[3], addr4("192.0.2.4"), "d.example", 1, kTcpClosed, 5, 1);        // 1
    connection(tcpTable4[4], addr4("192.0.2.5"), "e.example", 1, kTcpSynSent, 0, 9);       // unused
    connection(tcpTable6[0], addr6("2001:db8::1"), "notfound", 1, kTcpSynSent, 3, 0);      // 3
    const struct {
        std::vector<std::string> safe;
        int errors, percent;
    } cases[] = {
        {{}, 12, 12 * 100 / 24},
        {{"192.0.2.1"}, 8, 8 * 100 / 20},
        {{"safe.example"}, 10, 10 * 100 / 22},
        {{"2001:db8::1"}, 9, 9 * 100 / 21},
        {{"2001:db8:0:0:0:0:0:1"}, 12, 12 * 100 / 24}, // not the standard text
    };
    for (const auto& c : cases) {
        useSafeList(c.safe);
        EXPECT_EQ(countTcpErrors(), c.errors) << testing::PrintToString(c.safe);
        EXPECT_EQ(computeRates().tcpErrorPercent, c.percent) << testing::PrintToString(c.safe);
    }
    connection(tcpTable4[2], addr4("192.0.2.3"), "c.example", 1, kTcpEstablished, 10, 30);
    EXPECT_EQ(computeRates().tcpErrorPercent, 0); // 40 errors in 24 packets
}

TEST_F(RatesTest, IcmpProblemShareOfPeers) {
    const Address4 router = addr4("10.0.0.1");
    message(icmpTable4[0], addr4("192.0.2.1"), addr4("192.0.2.1"), "notfound", 0, 0, 0, 1);
    message(icmpTable4[1], addr4("192.0.2.2"), addr4("192.0.2.2"), "notfound", 0, 0, 1, 1);
    message(icmpTable4[2], addr4("192.0.2.2"), router, "notfound", 0, 0, 1, 1);
    message(icmpTable4[3], addr4("192.0.2.3"), router, "safe.example", 0, 0, 1, 1);
    message(icmpTable6[7], addr6("fe80::1"), addr6("fe80::1"), "notfound", 0, 0, 1, 1);
    message(icmpTable6[8], addr6("fe80::2"), addr6("fe80::2"), "notfound", 0, 0, 0, 1);
    const struct {
        std::vector<std::string> safe;
        int hosts, percent;
    } cases[] = {
        {{}, 6, 4 * 100 / 6},
        {{"192.0.2.2"}, 4, 2 * 100 / 4}, // both records of the peer
        {{"10.0.0.1"}, 6, 4 * 100 / 6},  // not by the reporter
        {{"safe.example"}, 5, 3 * 100 / 5},
        {{"fe80::1"}, 5, 3 * 100 / 5},
        {{"192.0.2.1", "fe80::2"}, 4, 100},
    };
    for (const auto& c : cases) {
        useSafeList(c.safe);
        EXPECT_EQ(countIcmpHosts(), c.hosts) << testing::PrintToString(c.safe);
        EXPECT_EQ(computeRates().icmpErrorPercent, c.percent) << testing::PrintToString(c.safe);
    }
    // A record without a peer is no host, yet its problem counts: 5 of 4.
    message(icmpTable4[9], Address4(0), router, "notfound", 0, 0, 1, 1);
    EXPECT_EQ(computeRates().icmpErrorPercent, 0);
}

} // namespace
