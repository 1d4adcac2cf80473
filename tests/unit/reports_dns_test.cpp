// dns.html rows: one per named slot, numbered by slot; unanswered names are
// failures unless the safe list or the dotless-name setting excuses them.
#include <string>

#include "reports/reports.h"
#include "reports_test_util.h"
#include "support/test_support.h"

namespace {

const std::string kRed = "<td style='background-color:#ff0'>";
const std::string kBlue = "<td style='background-color:#ddf'>";

std::string row(const std::string& cell, int number, const std::string& name,
                const std::string& value) {
    return "<tr>" + cell + std::to_string(number) + "</td>" + cell + name + "</td>" + cell + value +
           "</td></tr>\r\n";
}

class DnsReportTest : public ReportTest {
  protected:
    Sections sections() {
        EXPECT_EQ(writeDnsReport(nullptr), 0);
        return reportSections(report("dns.html"), reportHead("DNS"),
                              "<table>" + headerRow({"No.", "Name", "IPv4 Address"}),
                              headerRow({"No.", "Name", "IPv6 Address"}));
    }
    static void name4(int slot, const char* name, const char* address, uint8_t noDot = 0) {
        std::strcpy(nameTable4[slot].name, name);
        nameTable4[slot].address = address ? addr4(address) : 0;
        nameTable4[slot].noDot = noDot;
    }
    static void name6(int slot, const char* name, const char* address, uint8_t noDot = 0) {
        std::strcpy(nameTable6[slot].name, name);
        nameTable6[slot].address = address ? addr6(address) : Address6{};
        nameTable6[slot].noDot = noDot;
    }
};

TEST_F(DnsReportTest, RowsBySlotWithGapsAndEveryColour) {
    useSafeList({"safe.example", "2001:db8::1"});
    name4(0, "www.example.com", "192.0.2.10");
    name4(2, "lost.example", nullptr);           // unanswered: failure
    name4(3, "safe.example", nullptr);           // unanswered, safe-listed: excused
    name4(4, "safe.example", "192.0.2.11");      // answered: plain even when listed
    nameTable4[5].address = addr4("192.0.2.99"); // an address without a name: no row
    name4(999, "last.example", "255.255.255.255");
    Sections s = sections();
    EXPECT_EQ(s.first,
              "<tr><td>1</td><td>www.example.com</td><td>192.0.2.10</td></tr>\r\n" +
                  row(kRed, 3, "lost.example", "Not resolved.") +
                  row(kBlue, 4, "safe.example", "Not resolved.") +
                  "<tr><td>5</td><td>safe.example</td><td>192.0.2.11</td></tr>\r\n"
                  "<tr><td>1000</td><td>last.example</td><td>255.255.255.255</td></tr>\r\n");
    EXPECT_EQ(s.second, "");
}

TEST_F(DnsReportTest, Ipv6SectionUsesTheStandardTextAndItsOwnSlotNumbers) {
    useSafeList({"2001:db8::1"}); // an address text does not excuse a name row
    name6(1, "v6.example", "2001:db8:0:0:0:0:0:1");
    name6(2, "pending6.example", nullptr);
    name6(7, "mapped.example", "::ffff:192.0.2.1");
    Sections s = sections();
    EXPECT_EQ(s.first, "");
    EXPECT_EQ(s.second, "<tr><td>2</td><td>v6.example</td><td>2001:db8::1</td></tr>\r\n" +
                            row(kRed, 3, "pending6.example", "Not resolved.") +
                            "<tr><td>8</td><td>mapped.example</td><td>::ffff:192.0.2.1</td></tr>"
                            "\r\n");
}

TEST_F(DnsReportTest, DotlessNamesAreExcusedOnlyWhenTheSettingIsExactlyOne) {
    struct Case {
        int32_t ignoreDotless;
        bool listed;
        const std::string& cell;
    };
    const Case cases[] = {
        {0, false, kRed}, {1, false, kBlue}, {7, false, kRed}, // 7 is kept as read, yet not 1
        {0, true, kBlue}, {1, true, kBlue},
    };
    for (const Case& c : cases) {
        resetTrafficTables();
        settings.ignoreDotlessNames = c.ignoreDotless;
        useSafeList({c.listed ? "FILESERVER" : "unrelated.example"});
        name4(0, "FILESERVER", nullptr, 1);
        name4(1, "PRINTER", "192.0.2.5", 1); // answered: plain in every case
        name6(0, "FILESERVER", nullptr, 1);
        Sections s = sections();
        SCOPED_TRACE("dnsdot=" + std::to_string(c.ignoreDotless) +
                     " listed=" + std::to_string(c.listed));
        EXPECT_EQ(s.first, row(c.cell, 1, "FILESERVER", "Not resolved.") +
                               "<tr><td>2</td><td>PRINTER</td><td>192.0.2.5</td></tr>\r\n");
        EXPECT_EQ(s.second, row(c.cell, 1, "FILESERVER", "Not resolved."));
    }
}

TEST_F(DnsReportTest, SafeListIsExactAndCaseSensitive) {
    useSafeList({"Example.com"});
    name4(0, "example.com", nullptr);
    name4(1, "Example.com", nullptr);
    name4(2, "Example.com.", nullptr);
    Sections s = sections();
    EXPECT_EQ(s.first, row(kRed, 1, "example.com", "Not resolved.") +
                           row(kBlue, 2, "Example.com", "Not resolved.") +
                           row(kRed, 3, "Example.com.", "Not resolved."));
}

TEST_F(DnsReportTest, OneNameWithSeveralAddressesGivesSeveralRows) {
    name4(0, "multi.example", "192.0.2.1");
    name4(1, "multi.example", "192.0.2.2");
    Sections s = sections();
    EXPECT_EQ(s.first, "<tr><td>1</td><td>multi.example</td><td>192.0.2.1</td></tr>\r\n"
                       "<tr><td>2</td><td>multi.example</td><td>192.0.2.2</td></tr>\r\n");
}

TEST_F(DnsReportTest, LongestNameFitsItsFragment) {
    std::string longest(255, 'n');
    name4(0, longest.c_str(), nullptr);
    Sections s = sections();
    EXPECT_EQ(s.first, row(kRed, 1, longest, "Not resolved."));
}

} // namespace
