// The three overlay rates and their label texts.
#include <string>
#include <vector>

#include "analysis/tcp.h"
#include "app/rates.h"
#include "reports_test_util.h"
#include "support/test_support.h"

namespace {

class RatesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetTrafficTables();
        screenWidth = 1920;
        screenHeight = 1080;
        applyDefaultSettings();
        useSafeList({});
    }
    void TearDown() override {
        useSafeList({});
        resetTrafficTables();
    }
    static void name4(int slot, const std::string& name, const char* address, uint8_t noDot = 0) {
        std::strcpy(nameTable4[slot].name, name.c_str());
        nameTable4[slot].address = address ? addr4(address) : 0;
        nameTable4[slot].noDot = noDot;
    }
    static void name6(int slot, const std::string& name, const char* address, uint8_t noDot = 0) {
        std::strcpy(nameTable6[slot].name, name.c_str());
        nameTable6[slot].address = address ? addr6(address) : Address6{};
        nameTable6[slot].noDot = noDot;
    }
    template <class Record, class Address>
    static void connection(Record& r, Address remote, const char* name, uint8_t state,
                           uint32_t packets, uint32_t repeats) {
        r.remote = remote;
        std::strcpy(r.name, name);
        r.port = 1;
        r.state = state;
        r.packetCount = packets;
        r.repeatCount = repeats;
    }
    template <class Record, class Address>
    static void message(Record& r, Address peer, Address reporter, const char* name,
                        uint8_t problem) {
        r.peer = peer;
        r.reporter = reporter;
        std::strcpy(r.name, name);
        r.isProblem = problem;
    }
    static std::vector<std::string> texts() {
        RateTexts t = formatRateTexts(computeRates());
        return {t.dns, t.tcp, t.icmp};
    }
};

using Texts = std::vector<std::string>;

TEST_F(RatesTest, EmptyTablesShowZeroEverywhere) {
    Rates r = computeRates();
    EXPECT_EQ(r.dnsResolvedPercent, 100);
    EXPECT_EQ(r.tcpErrorPercent, 0);
    EXPECT_EQ(r.icmpErrorPercent, 0);
    EXPECT_EQ(texts(), (Texts{"DNS   0%", "TCP   0%", "ICMP   0%"}));
    EXPECT_EQ(countTcpErrors(), 0);
    EXPECT_EQ(countIcmpHosts(), 0);
}

TEST_F(RatesTest, LabelTextsShowTheUnansweredShareOfDns) {
    RateTexts t = formatRateTexts(Rates{0, 100, 5});
    EXPECT_STREQ(t.dns, "DNS 100%");
    EXPECT_STREQ(t.tcp, "TCP 100%");
    EXPECT_STREQ(t.icmp, "ICMP   5%");
    t = formatRateTexts(Rates{67, 14, 28});
    EXPECT_STREQ(t.dns, "DNS  33%");
    EXPECT_STREQ(t.tcp, "TCP  14%");
    EXPECT_STREQ(t.icmp, "ICMP  28%");
}

TEST_F(RatesTest, DnsCountsBothTablesAndLeavesSafeListedNamesOut) {
    name4(0, "a.example", "192.0.2.1");
    name4(1, "b.example", nullptr);
    name4(2, "c.example", "192.0.2.3");
    name6(0, "d.example", "2001:db8::4");
    name6(1, "e.example", nullptr);
    name6(2, "f.example", nullptr);
    struct Case {
        std::vector<std::string> safe;
        int resolved;
    };
    const Case cases[] = {
        {{}, 3 * 100 / 6},                              // 50
        {{"b.example"}, 3 * 100 / 5},                   // an unanswered name out: 60
        {{"a.example"}, 2 * 100 / 5},                   // an answered name out: 40
        {{"b.example", "e.example", "f.example"}, 100}, // every unanswered name out
        {{"192.0.2.1", "2001:db8::4"}, 50},             // names only, never addresses
        {{"B.example"}, 50},                            // case-sensitive
    };
    for (const Case& c : cases) {
        useSafeList(c.safe);
        EXPECT_EQ(computeRates().dnsResolvedPercent, c.resolved) << testing::PrintToString(c.safe);
    }
}

TEST_F(RatesTest, DotlessNamesCountUnlessTheSettingIsSet) {
    name4(0, "FILESERVER", nullptr, 1);
    name4(1, "www.example", "192.0.2.1");
    name6(0, "PRINTER", "2001:db8::1", 1);
    name6(1, "mail.example", nullptr);
    struct Case {
        int32_t ignoreDotless;
        int resolved;
    };
    // All four count: 2 of 4. Without the dotless ones: 1 of 2. Any non-zero
    // value of the setting counts as set.
    for (Case c : {Case{0, 50}, Case{1, 50}, Case{7, 50}}) {
        settings.ignoreDotlessNames = c.ignoreDotless;
        EXPECT_EQ(computeRates().dnsResolvedPercent, c.resolved);
    }
    name4(1, "www.example", nullptr);
    settings.ignoreDotlessNames = 0;
    EXPECT_EQ(computeRates().dnsResolvedPercent, 25); // 1 of 4
    settings.ignoreDotlessNames = 1;
    EXPECT_EQ(computeRates().dnsResolvedPercent, 0); // 0 of 2
    settings.ignoreDotlessNames = 7;
    EXPECT_EQ(computeRates().dnsResolvedPercent, 0);
}

TEST_F(RatesTest, DnsResolvedAboveTotalShowsZero) {
    // Answered records without a name count as resolved but not in the total:
    // 2 resolved of 1 named would read above 100 %.
    name4(0, "asked.example", nullptr);
    nameTable4[1].address = addr4("192.0.2.1");
    nameTable6[1].address = addr6("2001:db8::1");
    EXPECT_EQ(computeRates().dnsResolvedPercent, 100);
    EXPECT_EQ(texts()[0], "DNS   0%");
    // One more named record makes it 2 of 2.
    name4(2, "other.example", nullptr);
    EXPECT_EQ(computeRates().dnsResolvedPercent, 100);
    name4(3, "third.example", nullptr);
    EXPECT_EQ(computeRates().dnsResolvedPercent, 2 * 100 / 3);
}

TEST_F(RatesTest, TcpErrorsArePacketsOfUnestablishedConnectionsAndRepeats) {
    connection(tcpTable4[0], addr4("192.0.2.1"), "a.example", kTcpSynSent, 3, 2);        // 3
    connection(tcpTable4[1], addr4("192.0.2.2"), "b.example", kTcpSynAckReceived, 2, 0); // 2
    connection(tcpTable4[2], addr4("192.0.2.3"), "c.example", kTcpEstablished, 10, 2);   // 2
    connection(tcpTable4[3], addr4("192.0.2.4"), "d.example", kTcpClosed, 5, 1);         // 1
    connection(tcpTable6[499], addr6("2001:db8::5"), "notfound", kTcpResetClosed, 4, 0); // 0
    connection(tcpTable6[0], addr6("2001:db8::6"), "notfound", kTcpSynReceivedFromRemote, 1, 0);
    tcpTable4[4].repeatCount = 9; // an empty slot counts nothing
    EXPECT_EQ(countTcpErrors(), 3 + 2 + 2 + 1 + 0 + 1);
    EXPECT_EQ(computeRates().tcpErrorPercent, 9 * 100 / 25); // 36
    EXPECT_EQ(texts()[1], "TCP  36%");
}

TEST_F(RatesTest, TcpSafeListedByNameOrAddressTextIsLeftOut) {
    connection(tcpTable4[0], addr4("192.0.2.1"), "notfound", kTcpSynSent, 4, 0);
    connection(tcpTable4[1], addr4("192.0.2.2"), "safe.example", kTcpSynSent, 2, 0);
    connection(tcpTable6[0], addr6("2001:db8::1"), "notfound", kTcpSynSent, 2, 0);
    connection(tcpTable6[1], addr6("2001:db8::2"), "notfound", kTcpEstablished, 2, 0);
    struct Case {
        std::vector<std::string> safe;
        int errors, percent;
    };
    const Case cases[] = {
        {{}, 8, 8 * 100 / 10},
        {{"192.0.2.1"}, 4, 4 * 100 / 6},
        {{"safe.example"}, 6, 6 * 100 / 8},
        {{"2001:db8::1"}, 6, 6 * 100 / 8},
        {{"2001:db8:0:0:0:0:0:1"}, 8, 80}, // not the standard text
        {{"2001:db8::2"}, 8, 8 * 100 / 8},
        {{"192.0.2.1", "safe.example", "2001:db8::1"}, 0, 0},
    };
    for (const Case& c : cases) {
        useSafeList(c.safe);
        SCOPED_TRACE(testing::PrintToString(c.safe));
        EXPECT_EQ(countTcpErrors(), c.errors);
        EXPECT_EQ(computeRates().tcpErrorPercent, c.percent);
    }
}

TEST_F(RatesTest, TcpErrorsAboveTotalShowZero) {
    connection(tcpTable4[0], addr4("192.0.2.1"), "a.example", kTcpEstablished, 2, 10);
    EXPECT_EQ(countTcpErrors(), 10);
    EXPECT_EQ(computeRates().tcpErrorPercent, 0);
}

TEST_F(RatesTest, IcmpProblemsPerPeerLeavingSafeListedPeersOut) {
    const Address4 router = addr4("10.0.0.1");
    message(icmpTable4[0], addr4("192.0.2.1"), addr4("192.0.2.1"), "notfound", 0);
    message(icmpTable4[1], addr4("192.0.2.2"), addr4("192.0.2.2"), "notfound", 1);
    message(icmpTable4[2], addr4("192.0.2.2"), router, "notfound", 1);
    message(icmpTable4[3], addr4("192.0.2.3"), router, "safe.example", 1);
    message(icmpTable6[7], addr6("fe80::1"), addr6("fe80::1"), "notfound", 1);
    message(icmpTable6[8], addr6("fe80::2"), addr6("fe80::2"), "notfound", 0);
    struct Case {
        std::vector<std::string> safe;
        int hosts, percent;
    };
    const Case cases[] = {
        {{}, 6, 4 * 100 / 6},
        {{"192.0.2.2"}, 4, 2 * 100 / 4},    // both records of the peer
        {{"10.0.0.1"}, 6, 4 * 100 / 6},     // the reporter does not count
        {{"safe.example"}, 5, 3 * 100 / 5}, // by name
        {{"fe80::1"}, 5, 3 * 100 / 5},      // an IPv6 record by its own peer
        {{"192.0.2.1", "fe80::2"}, 4, 100},
    };
    for (const Case& c : cases) {
        useSafeList(c.safe);
        SCOPED_TRACE(testing::PrintToString(c.safe));
        EXPECT_EQ(countIcmpHosts(), c.hosts);
        EXPECT_EQ(computeRates().icmpErrorPercent, c.percent);
    }
}

TEST_F(RatesTest, IcmpProblemsAboveHostsShowZero) {
    // Records whose peer is zero are no hosts, yet their problems count.
    message(icmpTable4[0], addr4("192.0.2.1"), addr4("192.0.2.1"), "notfound", 0);
    message(icmpTable4[1], Address4(0), addr4("192.0.2.9"), "notfound", 1);
    message(icmpTable4[2], Address4(0), addr4("192.0.2.9"), "notfound", 1);
    EXPECT_EQ(countIcmpHosts(), 1);
    EXPECT_EQ(computeRates().icmpErrorPercent, 0);
    message(icmpTable4[3], addr4("192.0.2.4"), addr4("192.0.2.4"), "notfound", 0);
    EXPECT_EQ(computeRates().icmpErrorPercent, 100); // 2 of 2
}

TEST_F(RatesTest, FullSafeListExcusesExactlyItsEntries) {
    // 100 entries of many lengths. Names equal to an entry are left out; names
    // that differ from one only inside (same length, same first and last
    // bytes) or by one byte more or less are counted.
    std::vector<std::string> safe;
    for (int i = 0; i < kSafeListCapacity; ++i)
        safe.push_back("host" + std::string(size_t(i % 40) + 1, char('a' + i % 26)) + "-" +
                       std::to_string(i) + ".corp.example");
    useSafeList(safe);
    int slot = 0;
    for (int i = 0; i < kSafeListCapacity; ++i) {
        std::string inside = safe[i];
        inside[inside.size() / 2] ^= 0x20;
        name4(slot++, safe[i], nullptr);                             // listed, left out
        name6(i, safe[i], nullptr);                                  // listed, left out
        name4(slot++, inside, i % 2 ? "192.0.2.1" : nullptr);        // counted
        name4(slot++, safe[i] + ".", i % 2 ? nullptr : "192.0.2.2"); // counted
        name4(slot++, safe[i].substr(1), nullptr);                   // counted
    }
    // Counted: 300 names, 100 of them answered.
    EXPECT_EQ(computeRates().dnsResolvedPercent, 100 * 100 / 300);
}

} // namespace
