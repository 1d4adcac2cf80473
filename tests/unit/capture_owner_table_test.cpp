// The port-owner tables: one record per (process, port, protocol), separate
// tables per version, the lowest matching record answers, a ring of 1000.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "capture/owner_table.h"
#include "support/test_support.h"

namespace {

using Families = ::testing::Types<Ip4, Ip6>;
template <class F> class OwnerTest : public ::testing::Test {
  protected:
    void SetUp() override { resetAnalysisForTest(); }
    static int32_t next() { return F::isIpv4 ? portOwners4Next : portOwners6Next; }
    static std::string find(uint16_t port, int isTcp, int isIpv4 = F::isIpv4) {
        char out[kOwnerNameMax + 1];
        const bool found = findPortOwner(out, port, isTcp, isIpv4);
        EXPECT_EQ(found, std::strcmp(out, "notfound") != 0);
        return out;
    }
};
TYPED_TEST_SUITE(OwnerTest, Families, FamilyName);

TYPED_TEST(OwnerTest, StoresEachOwnerOnceAndAnswersWithTheOldest) {
    using F = TypeParam;
    EXPECT_EQ(this->find(80, 1), "notfound"); // before any refresh
    for (int i = 0; i < 3; ++i) F::rememberOwner("web.exe", 80, 1);
    F::rememberOwner("", 81, 1); // an unknown process is not stored
    EXPECT_EQ(this->next(), 1);
    EXPECT_EQ(this->find(80, 0), "notfound");
    EXPECT_EQ(this->find(80, 1, !F::isIpv4), "notfound");

    F::rememberOwner("dns.exe", 80, 0);
    F::rememberOwner("new.exe", 80, 1); // the port changed hands
    EXPECT_EQ(this->find(80, 1), "web.exe");
    EXPECT_EQ(this->find(80, 0), "dns.exe");
    for (int i = 0; i < 2; ++i) F::rememberOwner(std::string(300, 'x').c_str(), 90, 1);
    EXPECT_EQ(this->find(90, 1), std::string(258, 'x')); // and stored once
    EXPECT_EQ(this->next(), 4);

    resetAnalysisForTest(); // a ring of 1000: the 1001st owner replaces the first
    for (int i = 0; i <= 1000; ++i)
        F::rememberOwner(i < 1000 ? "p.exe" : "q.exe", uint16_t(1000 + i), 1);
    EXPECT_EQ(this->next(), 1);
    EXPECT_EQ(this->find(1000, 1), "notfound");
    EXPECT_EQ(this->find(1001, 1), "p.exe");
    EXPECT_EQ(this->find(2000, 1), "q.exe");
}

TEST(OwnerTest, EndpointRowsAreNamedByProcessId) {
    resetAnalysisForTest();
    processTable[0] = ProcessEntry{100, "svc.exe"};
    processTable[1] = ProcessEntry{200, "app.exe"};
    processCount = 2;
    const EndpointRow rows[] = {{100, 53}, {999, 81}, {200, 53}, {100, 53}};
    rememberEndpointOwners(EndpointTable::Udp4, rows, 4);
    rememberEndpointOwners(EndpointTable::Tcp6, rows + 2, 1);
    EXPECT_EQ(portOwners4Next, 2); // the unknown process id gives nothing
    EXPECT_STREQ(portOwners4[0].process, "svc.exe");
    EXPECT_STREQ(portOwners4[1].process, "app.exe");
    EXPECT_EQ(portOwners4[1].isTcp, 0);
    EXPECT_EQ(portOwners4[1].port, 53);
    EXPECT_EQ(portOwners6Next, 1);
    EXPECT_STREQ(portOwners6[0].process, "app.exe");
    EXPECT_EQ(portOwners6[0].isTcp, 1);
}

} // namespace
