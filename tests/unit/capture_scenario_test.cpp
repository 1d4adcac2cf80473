// The whole path from a capture file: one workstation (02:77:00:00:00:01,
// 10.77.0.1 and fd77::1) talking to one server (10.77.0.2, fd77::2). Frame
// numbers below are those tcpdump shows, counting from 1.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "analysis/traffic_tables.h"
#include "capture/capture_file.h"
#include "support/test_support.h"

namespace {

TEST(ScenarioTest, TablesHoldWhatTheFramesSay) {
    resetAnalysisForTest(); // this host is 02:77:00:00:00:01
    publishTwoLineProcessNames(0);
    std::vector<std::vector<uint8_t>> frames;
    std::string error;
    ASSERT_TRUE(
        loadCaptureFrames(testDataPath("workstation-scenario.pcap").c_str(), &frames, &error))
        << error;
    ASSERT_EQ(frames.size(), 82u);
    for (const auto& frame : frames) feedFrame(frame);
    const Address4 none4 = 0, server4 = addr4("10.77.0.2");
    const Address6 none6{}, server6 = addr6("fd77::2");

    const std::pair<const char*, Address4> names4[] = {
        {"ok1.kva.test", addr4("10.77.0.22")}, // 12 query, 13 answer
        {"nx1.kva.test", none4},               // 16 query, 17 NXDOMAIN
        {"drop1.kva.test", none4},             // 18 query, never answered
        {"other.example", none4},              // 20 query, 21 REFUSED
        {"nx2.kva.test", none4},               // 26 A query over IPv6, 27 NXDOMAIN
        {"kvahost", none4},                    // 75 LLMNR query; 76 and 77 (IPv6 group) add nothing
        {"KVAHOST", none4},                    // 78 NetBIOS NB query, padding cut; 79 adds nothing
    };
    ASSERT_EQ(nameTable4Next, 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_STREQ(nameTable4[i].name, names4[i].first);
        EXPECT_EQ(nameTable4[i].address, names4[i].second) << i;
        EXPECT_EQ(nameTable4[i].noDot, i >= 5) << i;
    }
    ASSERT_EQ(nameTable6Next, 2); // 14 AAAA query over IPv4, 15 answer; 24 query, 25 answer
    EXPECT_STREQ(nameTable6[0].name, "ok2.kva.test");
    EXPECT_STREQ(nameTable6[1].name, "ok3.kva.test");
    for (int i : {0, 1}) EXPECT_TRUE(sameAddress(nameTable6[i].address, addr6("fd77::10")));

    auto expectTcp = [](const auto& r, const auto& server, uint16_t port, int state,
                        uint32_t packets, uint32_t repeats) {
        EXPECT_TRUE(sameAddress(r.remote, server));
        EXPECT_EQ(r.port, port);
        EXPECT_EQ(r.state, state);
        EXPECT_EQ(r.packetCount, packets);
        EXPECT_EQ(r.repeatCount, repeats);
        EXPECT_STREQ(r.name, "notfound");
    };
    // 28-39 and 40-51: S out 2, S. in 3, . out 4, P. out with the same sequence
    // number (repeat 1), . in 4, P. in with the same number (repeat 2), four
    // data and ACK segments, F. in 8, F. out 9, . in 11.
    // 52-53 and 54-55: S out 2, R. in 10.
    ASSERT_EQ(tcpTable4Next + tcpTable6Next, 4);
    expectTcp(tcpTable4[0], server4, 59218, 11, 12, 2);
    expectTcp(tcpTable4[1], server4, 36384, 10, 2, 0);
    expectTcp(tcpTable6[0], server6, 54232, 11, 12, 2);
    expectTcp(tcpTable6[1], server6, 59404, 10, 2, 0);

    auto expectIcmp = [](const auto& r, const auto& peer, int type, int code, int problem,
                         int incoming) {
        EXPECT_TRUE(sameAddress(r.peer, peer));
        EXPECT_TRUE(sameAddress(r.reporter, peer));
        EXPECT_EQ(r.type, type);
        EXPECT_EQ(r.code, code);
        EXPECT_EQ(r.isProblem, problem);
        EXPECT_EQ(r.incoming, incoming);
    };
    // 56-59 echo and replies; then 72, port unreachable whose embedded header
    // (10.77.0.1 -> 10.77.0.2) files it under the same pair.
    ASSERT_EQ(icmpTable4Next, 1);
    expectIcmp(icmpTable4[0], server4, 3, 3, 1, 1);
    // The MLD reports (3, 4, 5, 7, 9, 19) sit behind a hop-by-hop header: ignored.
    ASSERT_EQ(icmpTable6Next, 7);
    expectIcmp(icmpTable6[0], none6, 135, 0, 0, 1);                   // 1 solicitation from ::
    expectIcmp(icmpTable6[1], addr6("ff02::1:ff00:1"), 135, 0, 0, 0); // 2 ours from ::
    expectIcmp(icmpTable6[2], addr6("ff02::2"), 133, 0, 0, 0);        // 6, 69 router solicitations
    // 8, 70 its router solicitations, 81 its neighbour solicitation, 82 our advertisement
    expectIcmp(icmpTable6[3], addr6("fe80::77:ff:fe00:2"), 136, 0, 0, 0);
    expectIcmp(icmpTable6[4], addr6("ff02::1:ff00:2"), 135, 0, 0, 0); // 22 who has fd77::2
    // 23 advertisement, 60-63 echo, 74 port unreachable (embedded fd77::1 -> fd77::2)
    expectIcmp(icmpTable6[5], server6, 1, 4, 1, 1);
    expectIcmp(icmpTable6[6], addr6("ff02::1:ff00:99"), 135, 0, 0, 0); // 66, 68, 80
    EXPECT_STREQ(icmpTable4[0].name, "notfound");
    for (int i = 1; i < 7; ++i) EXPECT_STREQ(icmpTable6[i].name, "notfound");

    // No owners are known offline, so no process addresses. With process names
    // on one line, 28 (SYN to 10.77.0.2) and 40 (SYN to fd77::2) queue events;
    // every later segment or datagram to them (52, 54, 71, 73) finds its host
    // pending, and 38 and 50 are closing.
    EXPECT_EQ(processAddresses4Next + processAddresses6Next, 0);
    ASSERT_EQ(pendingEventCount, 2);
    EXPECT_STREQ(recentEvents[1].host, "10.77.0.2");
    EXPECT_EQ(recentEvents[1].kind, kEventTcp4);
    EXPECT_STREQ(recentEvents[2].host, "fd77::2");
    EXPECT_EQ(recentEvents[2].kind, kEventTcp6);
    EXPECT_EQ(ownerRefreshPending.load(), 1);
}

} // namespace
