// The port-owner tables: one record per (process, port, protocol), separate
// tables per version, the lowest matching record answers, a ring of 1000; and
// their refresh from the system's process list and endpoint tables (/proc).
#include <gtest/gtest.h>
#include <netdb.h>
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
    for (int i = 0; i < 2; ++i) F::rememberOwner("web.exe", 8080, 1); // a second port: kept once
    F::rememberOwner("", 81, 1); // an unknown process is not stored
    F::rememberOwner("dns.exe", 80, 0);
    F::rememberOwner("new.exe", 80, 1); // the port changed hands
    for (int i = 0; i < 2; ++i) F::rememberOwner(std::string(300, 'x').c_str(), 90, 1);
    EXPECT_EQ(F::isIpv4 ? portOwners4Next : portOwners6Next, 5);
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
// one of the four tables; an IPv4-mapped IPv6 address counts as IPv4.
TEST(OwnerRefreshTest, NamesTheOwnersOfThisProcessSockets) {
    const struct {
        int type;
        const char* address;
        int isTcp, isIpv4;
    } cases[] = {{SOCK_STREAM, "127.0.0.1", 1, 1},
                 {SOCK_STREAM, "::1", 1, 0},
                 {SOCK_DGRAM, "::ffff:127.0.0.1", 0, 1},
                 {SOCK_DGRAM, "::1", 0, 0}};
    int sockets[4];
    uint16_t ports[4];
    for (int i = 0; i < 4; ++i) {
        addrinfo hints{}, *a;
        hints.ai_flags = AI_NUMERICHOST;
        hints.ai_socktype = cases[i].type;
        ASSERT_EQ(getaddrinfo(cases[i].address, "0", &hints, &a), 0);
        sockets[i] = socket(a->ai_family, a->ai_socktype, 0);
        ASSERT_EQ(bind(sockets[i], a->ai_addr, a->ai_addrlen), 0) << cases[i].address;
        if (cases[i].isTcp) listen(sockets[i], 1);
        getsockname(sockets[i], a->ai_addr, &a->ai_addrlen);
        ports[i] = ntohs(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_port); // sin6_port too
        freeaddrinfo(a);
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
