// Connection states and ICMP records of both versions, through the packet handler.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "analysis/icmp.h"
#include "analysis/tcp.h"
#include "analysis/traffic_tables.h"
#include "support/test_support.h"

namespace {

using Families = ::testing::Types<Ip4, Ip6>;
template <class F> class TrackTest : public ::testing::Test {
  protected:
    void SetUp() override { resetAnalysisForTest(); }
};
TYPED_TEST_SUITE(TrackTest, Families, FamilyName);

constexpr bool in = true, out = false;

// One segment per word: ">" sent or "<" received, the flags (F, S, R, P, A;
// "-" for none), "=" and the state expected after it. A "*" before "=" repeats
// the previous segment's sequence number; otherwise every segment has a new one.
TYPED_TEST(TrackTest, TcpStatesFollowFlagsAndDirection) {
    using F = TypeParam;
    const struct {
        const char *what, *script;
        uint32_t repeats;
    } cases[] = {
        {"active open", ">S=2 <SA=3 >A=4", 0},
        {"passive open", "<S=0 >SA=1 <A=4", 0},
        {"active close", ">S=2 >A=4 >FA=5 >A=5 <A=6 <FA=11", 0},
        {"FIN-WAIT2 closes on a sent FIN", ">S=2 >F=5 <A=6 >F=11", 0},
        {"passive close", "<S=0 <A=4 <FA=8 <F=8 <A=8 >FA=9 >F=9 >A=9 <A=11", 0},
        {"LAST-ACK closes on the remote's FIN", "<S=0 <F=8 >F=9 <F=11", 0},
        {"simultaneous close", ">S=2 <SA=3 >F=5 >F=5 <F=7 >A=7 >F=7 <A=11", 0},
        {"CLOSING closes on a FIN too", ">S=2 >F=5 <F=7 <FA=11", 0},
        {"FIN+ACK answers FIN-WAIT1", ">S=2 >FA=5 <FA=11", 0},
        {"reset is final but for SYN", ">S=2 <RA=10 <A=10 <F=10 >S=10 <S=0", 0},
        {"closed is final but for SYN", ">S=2 >F=5 <FA=11 <A=11 >F=11 >S=11 >SA=1 <SA=3", 0},
        {"segments without flags only count", "<S=0 <-=0 >P=0", 0},
        {"a new record ignores FIN and RST", ">SFR=2", 0},
        {"a sent SYN+ACK opens a record", ">SA=1", 0},
        {"a received SYN+ACK opens a record", "<SA=3", 0},
        // Counted while the state before the segment is 0 to 4.
        {"repeated sequence numbers", ">S=2 >S*=2 <SA*=3 >A*=4 >FA*=5 >A*=5 <R*=10", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetAnalysisForTest();
        std::istringstream words(c.script);
        uint32_t seq = 100, count = 0;
        for (std::string w; words >> w;) {
            SCOPED_TRACE(w);
            uint8_t flags = 0;
            for (char f : w.substr(1, w.find_first_of("*=") - 1))
                if (f != '-') flags |= uint8_t(1 << std::string("FSRPA").find(f)); // bits 0 to 4
            const bool repeat = w.find('*') != std::string::npos;
            feedFrame(tcpFrame<F>(w[0] == '<', 40000, repeat ? seq : ++seq, flags));
            ASSERT_EQ(F::tcpNext(), 1);
            EXPECT_EQ(F::tcp()[0].state, std::stoi(w.substr(w.find('=') + 1)));
            EXPECT_EQ(F::tcp()[0].packetCount, ++count);
        }
        EXPECT_EQ(F::tcp()[0].repeatCount, c.repeats);
    }
}

TYPED_TEST(TrackTest, TcpRecordsAreKeyedByRemoteAndLocalPort) {
    using F = TypeParam;
    feedFrame(tcpFrame<F>(out, 40000, 1, kAck, 1)); // opening not seen
    feedFrame(tcpFrame<F>(in, 40000, 1, kFin | kAck, 1));
    EXPECT_EQ(F::tcpNext(), 0);

    feedFrame(tcpFrame<F>(out, 40000, 0x01020304, kSyn, 1));
    feedFrame(
        dnsIn<F>(dnsResponse(1, "two.example", F::qtype, 0, {{F::qtype, F::data(F::remote(2))}})));
    feedFrame(tcpFrame<F>(out, 40000, 1, kSyn, 2)); // same port, other remote
    feedFrame(tcpFrame<F>(in, 40000, 2, kSyn | kAck, 2));
    ASSERT_EQ(F::tcpNext(), 2);
    EXPECT_STREQ(F::tcp()[1].name, "two.example");
    EXPECT_EQ(F::tcp()[1].state, kTcpSynAckReceived);
    EXPECT_EQ(F::tcp()[0].state, kTcpSynSent);
    const uint8_t raw[4] = {1, 2, 3, 4}; // the sequence bytes as on the wire
    EXPECT_EQ(0, std::memcmp(&F::tcp()[0].lastSeq, raw, 4));
}

TYPED_TEST(TrackTest, IcmpRecordsKeepTheLastMessagePerPeerAndReporter) {
    using F = TypeParam;
    using A = typename F::Address;
    const A host = F::remote(1), silent = F::remote(2), router = F::remote(3), none{};
    auto sent = [](const A& to, uint8_t type) {
        return outgoing(F::packet(F::local(), to, F::icmpProtocol, icmpMessage(type, 0)));
    };
    auto received = [](const A& from, uint8_t type, const Bytes& body = {}) {
        return incoming(F::packet(from, F::local(), F::icmpProtocol, icmpMessage(type, 0, body)));
    };
    auto expectRecord = [](int slot, const A& peer, const A& reporter, uint8_t type, int problem,
                           int incoming) {
        SCOPED_TRACE(slot);
        const auto& r = F::icmp()[slot];
        EXPECT_TRUE(sameAddress(r.peer, peer));
        EXPECT_TRUE(sameAddress(r.reporter, reporter));
        EXPECT_EQ(r.type, type);
        EXPECT_EQ(r.isProblem, problem);
        EXPECT_EQ(r.incoming, incoming);
    };
    const Bytes mine = F::packet(F::local(), silent, 17, udpDatagram(40000, 33434));
    const Bytes notMine = F::packet(F::remote(4), silent, 17, udpDatagram(40000, 33434));
    const size_t header = F::isIpv4 ? 20 : 40;

    feedFrame(dnsIn<F>(dnsResponse(1, "echo.example", F::qtype, 0, {{F::qtype, F::data(host)}})));
    feedFrame(sent(host, F::echoRequest));
    expectRecord(0, host, host, F::echoRequest, 1, 0);
    feedFrame(received(host, F::echoReply));
    expectRecord(0, host, host, F::echoReply, 0, 1);
    EXPECT_STREQ(F::icmp()[0].name, "echo.example");

    feedFrame(sent(silent, F::echoRequest));
    feedFrame(received(router, F::timeExceeded, mine));
    feedFrame(received(router, F::timeExceeded, notMine));
    feedFrame(received(F::remote(5), F::timeExceeded, firstBytes(mine, header - 1)));
    expectRecord(1, silent, silent, F::echoRequest, 1, 0);
    expectRecord(2, silent, router, F::timeExceeded, 1, 1);
    expectRecord(3, router, router, F::timeExceeded, 1, 1);
    expectRecord(4, F::remote(5), F::remote(5), F::timeExceeded, 1, 1);
    EXPECT_STREQ(F::icmp()[1].name, "notfound");

    feedFrame(received(none, F::echoRequest)); // a zero peer is never matched again
    feedFrame(received(none, F::echoRequest));
    feedFrame(firstBytes(received(host, F::echoRequest), 14 + header + 7));
    feedFrame(
        incoming(F::packet(host, F::local(), F::isIpv4 ? 58 : 1, icmpMessage(F::echoRequest, 0))));
    EXPECT_EQ(F::icmpNext(), 7);
    expectRecord(0, host, host, F::echoReply, 0, 1);
}

// 1 when `type` is in `list`, types and ranges such as "1-4 8 44-252".
uint8_t listed(int type, const char* list) {
    std::istringstream words(list);
    for (std::string w; words >> w;) {
        const size_t dash = w.find('-');
        const int first = std::stoi(w),
                  last = dash == w.npos ? first : std::stoi(w.substr(dash + 1));
        if (type >= first && type <= last) return 1;
    }
    return 0;
}

TEST(TrackTest, IcmpTypeTables) {
    for (int t = 0; t < 256; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(icmp4ProblemTypes[t], listed(t, "1-4 8 11-12 31 42 44-252"));
        EXPECT_EQ(icmp6ProblemTypes[t], listed(t, "1-99 102-126 128 160 162-199"));
        ASSERT_TRUE(icmp4TypeNames[t] && icmp6TypeNames[t]);
    }
    // Names at the ends of their ranges; two ICMPv4 names end with a space.
    EXPECT_STREQ(icmp4TypeNames[0], "Echo Reply");
    EXPECT_STREQ(icmp4TypeNames[16], "Information Reply ");
    EXPECT_STREQ(icmp4TypeNames[18], "Address Mask Reply ");
    EXPECT_STREQ(icmp4TypeNames[252], "Unassigned");
    EXPECT_STREQ(icmp4TypeNames[253], "RFC3692-style Experiment 1");
    EXPECT_STREQ(icmp6TypeNames[0], "Reserved");
    EXPECT_STREQ(icmp6TypeNames[101], "Private experimentation");
    EXPECT_STREQ(icmp6TypeNames[102], "Unassigned");
}

} // namespace
