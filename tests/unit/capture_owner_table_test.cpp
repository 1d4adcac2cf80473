// The port-owner tables: one record per (process, port, protocol), separate
// tables per version, the lowest matching record answers, a ring of 1000; and
// their refresh from a process list and the four endpoint tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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
    EXPECT_EQ(find(80, 1, v4), "web.exe");
    EXPECT_EQ(find(80, 0, v4), "dns.exe");
    EXPECT_EQ(find(81, 1, v4), "notfound");
    EXPECT_EQ(find(80, 1, !v4), "notfound");
    EXPECT_EQ(find(90, 1, v4), std::string(258, 'x'));

    resetAnalysisForTest(); // a ring of 1000: the 1001st owner replaces the first
    for (int i = 0; i <= 1000; ++i)
        F::rememberOwner(i < 1000 ? "p.exe" : "q.exe", uint16_t(1000 + i), 1);
    EXPECT_EQ(F::isIpv4 ? portOwners4Next : portOwners6Next, 1);
    EXPECT_EQ(find(1000, 1, v4), "notfound");
    EXPECT_EQ(find(1001, 1, v4), "p.exe");
    EXPECT_EQ(find(2000, 1, v4), "q.exe");
}

// The snapshots the refresh sees: two processes (the second with the longest
// name a snapshot gives), rows by table in the order of EndpointTable, and
// process 99 not running.
const std::string kLongName(259, 'n');
std::vector<EndpointTable> asked;
bool snapshotFails;

int processes(ProcessEntry* out, int) {
    if (snapshotFails) return -1;
    out[0] = ProcessEntry{10, "a.exe"};
    out[1].processId = 20;
    std::strcpy(out[1].exeName, kLongName.c_str());
    return 2;
}

bool endpoints(EndpointTable table, std::vector<EndpointRow>* rows) {
    static const std::vector<EndpointRow> tables[] = {
        {{10, 80}, {99, 81}}, {{20, 443}}, {{10, 53}}, {{20, 5353}}};
    asked.push_back(table);
    *rows = tables[int(table)];
    return true;
}

TEST(OwnerRefreshTest, FourTablesInOrderUnderTheSnapshotsNames) {
    resetAnalysisForTest();
    const SnapshotHooks hooks = {processes, endpoints};
    platformSetSnapshotHooks(&hooks);
    refreshOwnerTable();
    EXPECT_EQ(asked, (std::vector<EndpointTable>{EndpointTable::Tcp4, EndpointTable::Tcp6,
                                                 EndpointTable::Udp4, EndpointTable::Udp6}));
    const std::string cut = kLongName.substr(0, 258);
    EXPECT_EQ(find(80, 1, 1) + " " + find(53, 0, 1) + " " + find(81, 1, 1), "a.exe a.exe notfound");
    EXPECT_EQ(find(443, 1, 0) + " " + find(5353, 0, 0), cut + " " + cut);
    EXPECT_EQ(portOwners4Next + portOwners6Next, 4); // the row of process 99 is not stored

    // A failed snapshot keeps the previous list.
    snapshotFails = true;
    resetOwnerTables();
    processTable[0] = ProcessEntry{99, "late.exe"};
    processCount = 1;
    refreshOwnerTable();
    platformSetSnapshotHooks(nullptr);
    EXPECT_EQ(find(81, 1, 1), "late.exe");
}

} // namespace
