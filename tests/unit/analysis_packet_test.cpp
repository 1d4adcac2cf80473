// Frame acceptance, port dispatch, recent events, process addresses and the
// rings of the tables, for IPv4 and IPv6 alike, through the packet handler.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "analysis/traffic_tables.h"
#include "capture/owner_table.h"
#include "support/test_support.h"

namespace {

using Families = ::testing::Types<Ip4, Ip6>;
template <class F> class PacketTest : public ::testing::Test {
  protected:
    void SetUp() override { resetAnalysisForTest(); }
};
TYPED_TEST_SUITE(PacketTest, Families, FamilyName);

TYPED_TEST(PacketTest, AcceptsFramesToOrFromThisHostOnly) {
    using F = TypeParam;
    const Bytes sent = F::packet(F::local(), F::remote(1), 6, tcpSegment(40000, 80, 1, kSyn));
    const Bytes received = F::packet(F::remote(1), F::local(), 6, tcpSegment(80, 40000, 1, kSyn));
    Bytes version5 = received;
    version5[0] = uint8_t(0x50 | (version5[0] & 0x0F));
    const uint8_t other[6] = {0x02, 0x55, 0, 0, 0, 9},
                  broadcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
                  multicast4[6] = {0x01, 0x00, 0x5e, 0, 0, 0xfb},
                  multicast6[6] = {0x33, 0x33, 0, 0, 0, 1};
    const size_t ipEnd = 14 + (F::isIpv4 ? 20 : 40);
    const struct {
        const char* what;
        Bytes frame;
        bool accepted; // as IP: ownerRefreshPending is set
        int state;     // of the record made, -1 for none
    } cases[] = {
        {"sent", outgoing(sent), true, 2},
        {"sent to broadcast is outgoing", ethernetFrame(broadcast, kTestLocalMac, sent), true, 2},
        {"received", incoming(received), true, 0},
        {"broadcast from another host", ethernetFrame(broadcast, other, received), true, 0},
        {"IPv4 multicast", ethernetFrame(multicast4, other, received), true, 0},
        {"IPv6 multicast", ethernetFrame(multicast6, other, received), true, 0},
        {"between two other hosts", ethernetFrame(kTestPeerMac, other, received), false, -1},
        {"VLAN EtherType", ethernetFrame(kTestLocalMac, kTestPeerMac, received, 0x8100), false, -1},
        {"version nibble beats EtherType",
         ethernetFrame(kTestLocalMac, kTestPeerMac, received, F::isIpv4 ? 0x86DD : 0x0800), true,
         0},
        {"version 5", incoming(version5), false, -1},
        {"other protocol",
         incoming(F::packet(F::remote(1), F::local(), 0, tcpSegment(80, 40000, 1, kSyn))), true,
         -1},
        {"IP header cut", firstBytes(incoming(received), ipEnd - 1), false, -1},
        {"TCP header cut", firstBytes(incoming(received), ipEnd + 19), true, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetAnalysisForTest();
        feedFrame(c.frame);
        EXPECT_EQ(ownerRefreshPending.load(), c.accepted ? 1 : 0);
        EXPECT_EQ(F::tcpNext(), c.state >= 0 ? 1 : 0);
        EXPECT_EQ(F::tcp()[0].state, c.state >= 0 ? c.state : 0);
    }

    resetTrafficTables(); // the address is there but not yet marked as known
    std::memcpy(localMacAddress, kTestLocalMac, 6);
    feedFrame(incoming(received));
    EXPECT_EQ(ownerRefreshPending.load() + F::tcpNext(), 0);
}

TYPED_TEST(PacketTest, PortsChooseOneConsumer) {
    using F = TypeParam;
    const typename F::Address local = F::local(), remote = F::remote(1);
    const Bytes query = dnsQuery(1, "svc.example", F::qtype);
    const Bytes nbQuery =
        cat({messageHeader(0x0110, 1, 0), netbiosName("FILESRV", 0x20), be16(32), be16(1)});
    auto tcpOut = [&](uint16_t dstPort, const Bytes& payload) {
        return outgoing(F::packet(local, remote, 6, tcpSegment(40000, dstPort, 1, kSyn, payload)));
    };
    auto udp = [&](bool out, const typename F::Address& peer, uint16_t src, uint16_t dst,
                   const Bytes& payload) {
        return out ? outgoing(F::packet(local, peer, 17, udpDatagram(src, dst, payload)))
                   : incoming(F::packet(peer, local, 17, udpDatagram(src, dst, payload)));
    };
    const bool v4 = F::isIpv4;
    const struct {
        const char* what;
        Bytes frame;
        bool named, tracked, queued; // a name record, a TCP record, an event
    } cases[] = {
        {"DNS over TCP to 53", tcpOut(53, query), true, false, false},
        {"LLMNR to the group", udp(true, F::llmnrGroup(), 40000, 5355, query), true, false, false},
        {"LLMNR from 5355", udp(false, remote, 5355, 40000, query), true, false, false},
        {"5355 to a unicast host", udp(true, remote, 40000, 5355, query), false, false, true},
        {"NetBIOS over IPv4 only", udp(true, remote, 137, 137, nbQuery), v4, false, !v4},
        {"NetBIOS over TCP", tcpOut(137, nbQuery), v4, !v4, !v4},
        {"plain TCP", tcpOut(80, query), false, true, true},
        {"datagram received", udp(false, remote, 9, 40000, query), false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetAnalysisForTest();
        publishTwoLineProcessNames(0); // so every datagram that reaches the producer shows
        feedFrame(c.frame);
        EXPECT_EQ(nameTable4Next + nameTable6Next, c.named ? 1 : 0);
        EXPECT_EQ(F::tcpNext(), c.tracked ? 1 : 0);
        EXPECT_EQ(pendingEventCount, c.queued ? 1 : 0);
        EXPECT_EQ(ownerRefreshPending.load(), 1);
    }
}

TEST(PacketTest, Llmnr6GroupsAreTwo) {
    const std::pair<const char*, int> groups[] = {
        {"ff02::1:3", 1}, {"ff02::fb", 1}, {"ff05::1:3", 0}, {"ff02:0:0:1::1:3", 0}};
    for (const auto& g : groups) {
        resetAnalysisForTest();
        feedFrame(outgoing(ipv6Packet(Ip6::local(), addr6(g.first), 17,
                                      udpDatagram(40000, 5355, dnsQuery(1, "peer", 1)))));
        EXPECT_EQ(nameTable4Next, g.second) << g.first;
    }
}

TYPED_TEST(PacketTest, RecentEventsAndProcessAddresses) {
    using F = TypeParam;
    auto expectEvent = [](int slot, int n, const char* process, uint8_t kind) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(recentEvents[slot].host, F::text(F::remote(n)));
        EXPECT_STREQ(recentEvents[slot].process, process);
        EXPECT_EQ(recentEvents[slot].kind, kind);
    };
    auto consumeAll = [](const std::string& shownLast) { // the overlay took every pending event
        recentReadIndex = (recentWriteIndex + 1) % kRecentEventCapacity;
        pendingEventCount = 0;
        std::strcpy(lastShownHost, shownLast.c_str());
    };
    F::rememberOwner("browser.exe", 40001, 1); // TCP only

    feedFrame(udpOut<F>(40000, 1)); // unknown owner, two-line names: nothing
    EXPECT_EQ(pendingEventCount, 0);
    feedFrame(tcpFrame<F>(false, 40001, 1, kSyn, 1));
    expectEvent(1, 1, "browser.exe", F::tcpKind);
    feedFrame(tcpFrame<F>(false, 40001, 1, kSyn, 1)); // pending already; same pair stored once
    EXPECT_EQ(pendingEventCount, 1);

    publishTwoLineProcessNames(0);
    feedFrame(udpOut<F>(40000, 2));
    expectEvent(2, 2, "notfound", F::udpKind);
    feedFrame(udpOut<F>(40001, 3)); // the TCP owner does not own the UDP port
    expectEvent(3, 3, "notfound", F::udpKind);
    EXPECT_EQ(F::processesNext(), 1);
    EXPECT_EQ(pendingEventCount, 3);

    consumeAll(F::text(F::remote(3)));
    feedFrame(udpOut<F>(40000, 3)); // shown last
    feedFrame(udpOut<F>(40000, 2)); // shown before, no longer pending
    EXPECT_EQ(pendingEventCount, 1);
    expectEvent(4, 2, "notfound", F::udpKind);

    consumeAll("elsewhere");
    feedFrame(tcpFrame<F>(true, 40001, 100, kSyn | kAck, 1));
    feedFrame(tcpFrame<F>(false, 40001, 2, kAck, 1)); // established: queued again
    feedFrame(tcpFrame<F>(false, 40001, 3, kAck, 1)); // now pending
    EXPECT_EQ(pendingEventCount, 1);
    expectEvent(5, 1, "browser.exe", F::tcpKind);
    consumeAll("elsewhere");
    feedFrame(tcpFrame<F>(false, 40001, 4, kFin | kAck, 1)); // closing: nothing
    feedFrame(tcpFrame<F>(false, 40002, 1, kAck, 4));        // untracked: the tracker answers 10
    EXPECT_EQ(pendingEventCount, 0);

    feedFrame(
        dnsIn<F>(dnsResponse(1, "six.example", F::qtype, 0, {{F::qtype, F::data(F::remote(6))}})));
    feedFrame(udpOut<F>(40000, 6));
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
    EXPECT_EQ(recentEvents[6].host, F::text(F::remote(6)));
    feedFrame(udpOut<F>(40000, 100)); // still pending, in the last slot looked at
    EXPECT_EQ(pendingEventCount, 105);
    feedFrame(udpOut<F>(40000, 1)); // its slot was overwritten
    EXPECT_EQ(pendingEventCount, 106);
    EXPECT_EQ(recentEvents[6].host, F::text(F::remote(1)));
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
