// Connection states and ICMP records of both versions, through the packet handler.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

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
constexpr uint8_t kFinAck = kFin | kAck;

// One segment per word: ">" sent or "<" received, the flags (F, S, R, P, A;
// "-" for none), "=" and the state expected after it. A "*" before "=" repeats
// the previous segment's sequence number; otherwise every segment has a new one.
struct Segment {
    bool received, repeat;
    uint8_t flags;
    int state;
};
std::vector<Segment> parseScript(const std::string& script) {
    std::vector<Segment> segments;
    std::istringstream words(script);
    for (std::string w; words >> w;) {
        Segment s{w[0] == '<', w.find('*') != std::string::npos, 0,
                  std::stoi(w.substr(w.find('=') + 1))};
        for (char c : w.substr(1, w.find_first_of("*=") - 1))
            if (c != '-') s.flags |= uint8_t(1 << std::string("FSRPA").find(c)); // bits 0 to 4
        segments.push_back(s);
    }
    return segments;
}

TYPED_TEST(TrackTest, TcpStatesFollowFlagsAndDirection) {
    using F = TypeParam;
    const struct {
        const char* what;
        const char* script;
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
        uint32_t seq = 100;
        const std::vector<Segment> segments = parseScript(c.script);
        for (size_t i = 0; i < segments.size(); ++i) {
            SCOPED_TRACE(i);
            const Segment& s = segments[i];
            feedFrame(tcpFrame<F>(s.received, 40000, s.repeat ? seq : ++seq, s.flags));
            ASSERT_EQ(F::tcpNext(), 1);
            EXPECT_EQ(F::tcp()[0].state, s.state);
            EXPECT_EQ(F::tcp()[0].packetCount, i + 1);
        }
        EXPECT_EQ(F::tcp()[0].repeatCount, c.repeats);
    }
}

TYPED_TEST(TrackTest, TcpRecordsAreKeyedByRemoteAndLocalPort) {
    using F = TypeParam;
    feedFrame(tcpFrame<F>(out, 40000, 1, kAck, 1)); // opening not seen
    feedFrame(tcpFrame<F>(in, 40000, 1, kFinAck, 1));
    EXPECT_EQ(F::tcpNext(), 0);

    feedFrame(tcpFrame<F>(out, 40000, 0x01020304, kSyn, 1));
    feedFrame(
        dnsIn<F>(dnsResponse(1, "two.example", F::qtype, 0, {{F::qtype, F::data(F::remote(2))}})));
    feedFrame(tcpFrame<F>(out, 40000, 1, kSyn, 2)); // same port, other remote
    feedFrame(
        dnsIn<F>(dnsResponse(1, "one.example", F::qtype, 0, {{F::qtype, F::data(F::remote(1))}})));
    ASSERT_EQ(F::tcpNext(), 2);
    EXPECT_STREQ(F::tcp()[0].name, "notfound"); // named when made, never after
    EXPECT_STREQ(F::tcp()[1].name, "two.example");
    EXPECT_TRUE(sameAddress(F::tcp()[1].remote, F::remote(2)));
    EXPECT_EQ(F::tcp()[0].port, 40000);
    const uint8_t raw[4] = {1, 2, 3, 4}; // the sequence bytes as on the wire
    EXPECT_EQ(0, std::memcmp(&F::tcp()[0].lastSeq, raw, 4));

    feedFrame(tcpFrame<F>(in, 40000, 9, kRst, 1)); // closed, then the port is reused
    feedFrame(tcpFrame<F>(out, 40000, 10, kSyn, 1));
    EXPECT_EQ(F::tcp()[0].state, kTcpResetClosed);
    feedFrame(tcpFrame<F>(in, 40000, 11, kSyn, 1));
    EXPECT_EQ(F::tcp()[0].state, kTcpSynReceivedFromRemote);
    EXPECT_EQ(F::tcp()[0].packetCount, 4u);
    EXPECT_EQ(F::tcpNext(), 2);
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

TEST(TrackTest, NeighbourDiscoveryIsNoProblemButEchoIs) {
    resetAnalysisForTest();
    const Address6 neighbour = addr6("fe80::2");
    feedFrame(incoming(ipv6Packet(neighbour, Ip6::local(), 58, icmpMessage(135, 0, Bytes(16, 0)))));
    EXPECT_EQ(icmpTable6[0].isProblem, 0);
    EXPECT_EQ(icmpTable6[0].type, 135);
    feedFrame(incoming(ipv6Packet(neighbour, Ip6::local(), 58, icmpMessage(128, 0))));
    EXPECT_EQ(icmpTable6[0].isProblem, 1);
    EXPECT_EQ(icmpTable6Next, 1);
}

TEST(TrackTest, IcmpTypeTablesAtTheirBoundaries) {
    const struct {
        int type;
        uint8_t problem4, problem6;
        const char *name4, *name6;
    } rows[] = {
        {0, 0, 0, "Echo Reply", "Reserved"},
        {1, 1, 1, "Unassigned", "Destination Unreachable"},
        {3, 1, 1, "Destination Unreachable", "Time Exceeded"},
        {4, 1, 1, "Source Quench", "Parameter Problem"},
        {5, 0, 1, "Redirect", "Unassigned"},
        {8, 1, 1, "Echo", "Unassigned"},
        {11, 1, 1, "Time Exceeded", "Unassigned"},
        {12, 1, 1, "Parameter Problem", "Unassigned"},
        {16, 0, 1, "Information Reply ", "Unassigned"},
        {17, 0, 1, "Address Mask Request", "Unassigned"},
        {18, 0, 1, "Address Mask Reply ", "Unassigned"},
        {30, 0, 1, "Traceroute", "Unassigned"},
        {31, 1, 1, "Datagram Conversion Error", "Unassigned"},
        {32, 0, 1, "Mobile Host Redirect", "Unassigned"},
        {41, 0, 1, "such as Seamoby", "Unassigned"},
        {42, 1, 1, "Extended Echo Request", "Unassigned"},
        {43, 0, 1, "Extended Echo Reply", "Unassigned"},
        {44, 1, 1, "Unassigned", "Unassigned"},
        {99, 1, 1, "Unassigned", "Unassigned"},
        {100, 1, 0, "Unassigned", "Private experimentation"},
        {101, 1, 0, "Unassigned", "Private experimentation"},
        {102, 1, 1, "Unassigned", "Unassigned"},
        {126, 1, 1, "Unassigned", "Unassigned"},
        {127, 1, 0, "Unassigned", "Reserved"},
        {128, 1, 1, "Unassigned", "Echo Request"},
        {129, 1, 0, "Unassigned", "Echo Reply"},
        {159, 1, 0, "Unassigned", "MPL Control Message"},
        {160, 1, 1, "Unassigned", "Extended Echo Request"},
        {161, 1, 0, "Unassigned", "Extended Echo Reply"},
        {162, 1, 1, "Unassigned", "Unassigned"},
        {199, 1, 1, "Unassigned", "Unassigned"},
        {200, 1, 0, "Unassigned", "Private experimentation"},
        {202, 1, 0, "Unassigned", "Reserved"},
        {252, 1, 0, "Unassigned", "Reserved"},
        {253, 0, 0, "RFC3692-style Experiment 1", "Reserved"},
        {254, 0, 0, "RFC3692-style Experiment 2", "Reserved"},
        {255, 0, 0, "Reserved", "Reserved"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.type);
        EXPECT_EQ(icmp4ProblemTypes[r.type], r.problem4);
        EXPECT_EQ(icmp6ProblemTypes[r.type], r.problem6);
        EXPECT_STREQ(icmp4TypeNames[r.type], r.name4);
        EXPECT_STREQ(icmp6TypeNames[r.type], r.name6);
    }
    for (int t = 0; t < 256; ++t) ASSERT_TRUE(icmp4TypeNames[t] && icmp6TypeNames[t]) << t;
}

} // namespace
