// refreshOwnerTable: a fresh process list, then the four endpoint tables in
// order, each row stored under its owner's name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "capture/owner_table.h"
#include "support/test_support.h"

namespace {

const std::string kLongName(259, 'n'); // the longest a process snapshot gives
std::vector<EndpointTable> asked;
bool snapshotFails;

int processes(ProcessEntry* out, int) {
    if (snapshotFails) return -1;
    out[0] = ProcessEntry{10, "a.exe"};
    out[1].processId = 20;
    std::strcpy(out[1].exeName, kLongName.c_str());
    return 2;
}

// Rows by table, in the order of EndpointTable; process 99 is not running.
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
    const struct {
        const PortOwner& owner;
        std::string process;
        uint16_t port;
        uint8_t isTcp;
    } stored[] = {{portOwners4[0], "a.exe", 80, 1},
                  {portOwners4[1], "a.exe", 53, 0},
                  {portOwners6[0], cut, 443, 1},
                  {portOwners6[1], cut, 5353, 0}};
    for (const auto& s : stored) {
        EXPECT_EQ(s.owner.process, s.process);
        EXPECT_EQ(s.owner.port, s.port);
        EXPECT_EQ(s.owner.isTcp, s.isTcp);
    }
    EXPECT_EQ(portOwners4Next, 2); // the row of the unknown process is not stored
    EXPECT_EQ(portOwners6Next, 2);

    // A failed snapshot keeps the previous list.
    snapshotFails = true;
    resetOwnerTables();
    processTable[0] = ProcessEntry{99, "late.exe"};
    processCount = 1;
    refreshOwnerTable();
    platformSetSnapshotHooks(nullptr);
    char out[kOwnerNameMax + 1];
    ASSERT_TRUE(findPortOwner(out, 81, 1, 1));
    EXPECT_STREQ(out, "late.exe");
}

} // namespace
