// What the offline captures cannot show: the recent events and process
// addresses of outgoing traffic (they need the owners of local ports), and
// every table wrapping round as a ring, for IPv4 and IPv6 alike.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/test_support.h"

namespace {

using Families = ::testing::Types<Ip4, Ip6>;
template <class F> class PacketTest : public ::testing::Test {
  protected:
    void SetUp() override { resetAnalysisForTest(); }
    static void expectEvent(int slot, int n, const char* process, uint8_t kind) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(recentEvents[slot].host, F::text(F::remote(n)));
        EXPECT_STREQ(recentEvents[slot].process, process);
        EXPECT_EQ(recentEvents[slot].kind, kind);
    }
    // The overlay took every pending event and showed `shownLast` last.
    static void consumeAll(const std::string& shownLast) {
        recentReadIndex = (recentWriteIndex + 1) % kRecentEventCapacity;
        pendingEventCount = 0;
        std::strcpy(lastShownHost, shownLast.c_str());
    }
};
TYPED_TEST_SUITE(PacketTest, Families, FamilyName);

TYPED_TEST(PacketTest, RecentEventsAndProcessAddresses) {
    using F = TypeParam;
    F::rememberOwner("browser.exe", 40001, 1); // TCP only

    // Unknown owner, two-line names: no event; every IP packet asks for fresh owners.
    feedFrame(udpOut<F>(40000, 1));
    EXPECT_EQ(ownerRefreshPending.load(), 1);
    EXPECT_EQ(pendingEventCount, 0);
    feedFrame(tcpFrame<F>(false, 40001, 1, kSyn, 1));
    this->expectEvent(1, 1, "browser.exe", F::tcpKind);
    feedFrame(tcpFrame<F>(false, 40001, 1, kSyn, 1)); // pending already; same pair stored once
    EXPECT_EQ(pendingEventCount, 1);

    publishTwoLineProcessNames(0);
    feedFrame(udpOut<F>(40000, 2));
    this->expectEvent(2, 2, "notfound", F::udpKind);
    feedFrame(udpOut<F>(40001, 3)); // the TCP owner does not own the UDP port
    this->expectEvent(3, 3, "notfound", F::udpKind);
    EXPECT_EQ(F::processesNext(), 1);
    EXPECT_TRUE(sameAddress(F::processes()[0].address, F::remote(1)));
    EXPECT_STREQ(F::processes()[0].process, "browser.exe");
    EXPECT_EQ(pendingEventCount, 3);

    this->consumeAll(F::text(F::remote(3)));
    feedFrame(udpOut<F>(40000, 3)); // shown last
    feedFrame(udpOut<F>(40000, 2)); // shown before, no longer pending
    EXPECT_EQ(pendingEventCount, 1);
    this->expectEvent(4, 2, "notfound", F::udpKind);

    this->consumeAll("elsewhere");
    feedFrame(tcpFrame<F>(true, 40001, 100, kSyn | kAck, 1)); // received: no event
    feedFrame(tcpFrame<F>(false, 40001, 2, kAck, 1));         // established: queued again
    feedFrame(tcpFrame<F>(false, 40001, 3, kAck, 1));         // now pending
    EXPECT_EQ(pendingEventCount, 1);
    this->expectEvent(5, 1, "browser.exe", F::tcpKind);
    this->consumeAll("elsewhere");
    feedFrame(tcpFrame<F>(false, 40001, 4, kFin | kAck, 1)); // closing: nothing
    feedFrame(tcpFrame<F>(false, 40002, 1, kAck, 4));        // untracked: the tracker answers 10
    EXPECT_EQ(pendingEventCount, 0);

    feedFrame(
        dnsIn<F>(dnsResponse(1, "six.example", F::qtype, 0, {{F::qtype, F::data(F::remote(6))}})));
    feedFrame(udpOut<F>(40000, 6)); // a learnt name is the host
    EXPECT_STREQ(recentEvents[6].host, "six.example");
}

TYPED_TEST(PacketTest, EventRingOverwritesPastOneHundredPending) {
    using F = TypeParam;
    publishTwoLineProcessNames(0);
    for (int n = 1; n <= 105; ++n) feedFrame(udpOut<F>(40000, n));
    EXPECT_EQ(pendingEventCount, 105);
    EXPECT_EQ(recentWriteIndex, 5);
    EXPECT_EQ(recentEvents[0].host, F::text(F::remote(100)));
    EXPECT_EQ(recentEvents[5].host, F::text(F::remote(105)));
    feedFrame(udpOut<F>(40000, 100)); // still pending, in the last slot looked at
    EXPECT_EQ(pendingEventCount, 105);
    feedFrame(udpOut<F>(40000, 1)); // its slot was overwritten
    EXPECT_EQ(pendingEventCount, 106);
    EXPECT_EQ(recentEvents[6].host, F::text(F::remote(1)));

    // Slot 7, the next to be written, still holds 7 from the first lap; with
    // nothing pending it is not looked at.
    this->consumeAll("elsewhere");
    feedFrame(udpOut<F>(40000, 7));
    EXPECT_EQ(pendingEventCount, 1);
}

// Each table's cursor wraps at its capacity and the next record overwrites slot 0.
TYPED_TEST(PacketTest, EveryTableIsARing) {
    using F = TypeParam;
    F::rememberOwner("app.exe", 40000, 0);
    for (int n = 1; n <= 1001; ++n) {
        const std::string name = "h" + std::to_string(n) + ".example";
        feedFrame(dnsIn<F>(dnsResponse(1, name, F::qtype, 0, {{F::qtype, F::data(F::remote(n))}})));
        feedFrame(udpOut<F>(40000, n));
        if (n > 501) continue;
        feedFrame(tcpFrame<F>(false, 40001, 1, kSyn, n));
        feedFrame(outgoing(
            F::packet(F::local(), F::remote(n), F::icmpProtocol, icmpMessage(F::echoRequest, 0))));
    }
    EXPECT_STREQ(F::names()[0].name, "h1001.example");
    EXPECT_EQ(F::namesNext(), 1);
    EXPECT_STREQ(F::tcp()[0].name, "h501.example");
    EXPECT_EQ(F::tcpNext(), 1);
    EXPECT_TRUE(sameAddress(F::icmp()[0].peer, F::remote(501)));
    EXPECT_EQ(F::icmpNext(), 1);
    EXPECT_TRUE(sameAddress(F::processes()[0].address, F::remote(1001)));
    EXPECT_EQ(F::processesNext(), 1);
}

} // namespace
