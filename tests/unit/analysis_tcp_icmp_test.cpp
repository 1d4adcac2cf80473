// Every step of the connection states, for both versions, through the packet
// handler; and the two ICMP type tables. (The golden captures show the records
// these make in the reports.)
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "analysis/icmp.h"
#include "support/test_support.h"

namespace {

using Families = ::testing::Types<Ip4, Ip6>;
template <class F> class TcpStateTest : public ::testing::Test {};
TYPED_TEST_SUITE(TcpStateTest, Families, FamilyName);

// One segment per word: ">" sent or "<" received, the flags (F, S, R, P, A;
// "-" for none), "=" and the state expected after it. A "*" before "=" repeats
// the previous segment's sequence number; otherwise every segment has a new one.
TYPED_TEST(TcpStateTest, FollowFlagsAndDirection) {
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

TEST(IcmpTypeTest, ProblemTypesAndNames) {
    for (int t = 0; t < 256; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(icmp4ProblemTypes[t], listed(t, "1-4 8 11-12 31 42 44-252"));
        EXPECT_EQ(icmp6ProblemTypes[t], listed(t, "1-99 102-126 128 160 162-199"));
        ASSERT_TRUE(icmp4TypeNames[t] && icmp6TypeNames[t]);
    }
    // Names at the ends of their ranges; two ICMPv4 names end with a space.
    EXPECT_STREQ(icmp4TypeNames[18], "Address Mask Reply ");
    EXPECT_STREQ(icmp4TypeNames[253], "RFC3692-style Experiment 1");
    EXPECT_STREQ(icmp6TypeNames[0], "Reserved");
    EXPECT_STREQ(icmp6TypeNames[101], "Private experimentation");
    EXPECT_STREQ(icmp6TypeNames[102], "Unassigned");
}

} // namespace
