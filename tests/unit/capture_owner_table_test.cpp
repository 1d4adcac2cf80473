// The port-owner tables: one record per (process, port, protocol), separate
// tables per version, the lowest matching record answers, a ring of 1000; and
// their refresh from the system's process list and endpoint tables (/proc).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "capture/owner_table.h"
#include "support/test_support.h"

namespace {

std::string find(uint16_t port, int isTcp, int isIpv4) {
    char out[kOwnerNameMax + 1];
    const bool found = findPortOwner(out, port, isTcp, isIpv4);
    EXPECT_EQ(found, std::strcmp(out, "notfound") != 0);
    return out;
}

template <class F> class OwnerTest : public ::testing::Test {};
using Families = ::testing::Types<Ip4, Ip6>;
TYPED_TEST_SUITE(OwnerTest, Families, FamilyName);

TYPED_TEST(OwnerTest, StoresEachOwnerOnceAndAnswersWithTheOldest) {
    using F = TypeParam;
    const int v4 = F::isIpv4;
    resetAnalysisForTest();
    EXPECT_EQ(find(80, 1, v4), "notfound"); // before any refresh
    for (int i = 0; i < 3; ++i) F::rememberOwner("web.exe", 80, 1);
    F::rememberOwner("", 81, 1); // an unknown process is not stored
    F::rememberOwner("dns.exe", 80, 0);
    F::rememberOwner("new.exe", 80, 1); // the port changed hands
    for (int i = 0; i < 2; ++i) F::rememberOwner(std::string(300, 'x').c_str(), 90, 1);
    EXPECT_EQ(F::isIpv4 ? portOwners4Next : portOwners6Next, 4);
    EXPECT_EQ(find(80, 1, v4) + " " + find(80, 0, v4), "web.exe dns.exe");
    EXPECT_EQ(find(81, 1, v4) + " " + find(80, 1, !v4), "notfound notfound");
    EXPECT_EQ(find(90, 1, v4), std::string(258, 'x'));

    resetAnalysisForTest(); // a ring of 1000: the 1001st owner replaces the first
    for (int i = 0; i <= 1000; ++i)
        F::rememberOwner(i < 1000 ? "p.exe" : "q.exe", uint16_t(1000 + i), 1);
    EXPECT_EQ(F::isIpv4 ? portOwners4Next : portOwners6Next, 1);
    EXPECT_EQ(find(1000, 1, v4) + " " + find(1001, 1, v4) + " " + find(2000, 1, v4),
              "notfound p.exe q.exe");
}

// The refresh names this test as the owner of sockets it holds, in the right
// one of the four tables; a socket on an IPv4-mapped IPv6 address carries
// IPv4 traffic and counts as IPv4.
TEST(OwnerRefreshTest, NamesTheOwnersOfThisProcessSockets) {
    const struct {
        int family, type;
        const char* address;
        int isTcp, isIpv4;
    } cases[] = {{AF_INET, SOCK_STREAM, "127.0.0.1", 1, 1},
                 {AF_INET6, SOCK_STREAM, "::1", 1, 0},
                 {AF_INET6, SOCK_DGRAM, "::ffff:127.0.0.1", 0, 1},
                 {AF_INET6, SOCK_DGRAM, "::1", 0, 0}};
    int sockets[4];
    uint16_t ports[4];
    for (int i = 0; i < 4; ++i) {
        sockaddr_in a4{};
        sockaddr_in6 a6{};
        a4.sin_family = AF_INET;
        a6.sin6_family = AF_INET6;
        const bool v4 = cases[i].family == AF_INET;
        inet_pton(cases[i].family, cases[i].address,
                  v4 ? static_cast<void*>(&a4.sin_addr) : static_cast<void*>(&a6.sin6_addr));
        sockaddr* address = v4 ? reinterpret_cast<sockaddr*>(&a4) : reinterpret_cast<sockaddr*>(&a6);
        socklen_t length = v4 ? sizeof a4 : sizeof a6;
        sockets[i] = socket(cases[i].family, cases[i].type, 0);
        ASSERT_EQ(bind(sockets[i], address, length), 0) << cases[i].address;
        if (cases[i].type == SOCK_STREAM) listen(sockets[i], 1);
        getsockname(sockets[i], address, &length);
        ports[i] = ntohs(v4 ? a4.sin_port : a6.sin6_port);
    }
    resetAnalysisForTest();
    refreshOwnerTable();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(find(ports[i], cases[i].isTcp, cases[i].isIpv4), "kestrava-unit-analysis")
            << cases[i].address;
        close(sockets[i]);
    }

    // A failed snapshot keeps the previous process list.
    const SnapshotHooks failing = {[](ProcessEntry*, int) { return -1; }, nullptr};
    platformSetSnapshotHooks(&failing);
    resetOwnerTables();
    processTable[0] = ProcessEntry{uint32_t(getpid()), "late.exe"};
    processCount = 1;
    refreshOwnerTable();
    platformSetSnapshotHooks(nullptr);
    EXPECT_EQ(find(ports[0], 1, 1), "late.exe");
}

} // namespace
