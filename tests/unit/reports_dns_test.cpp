// dns.html rows: one per named slot, numbered by slot; unanswered names are
// failures unless the safe list or the dotless-name setting excuses them.
#include "reports/reports.h"
#include "reports_test_util.h"

namespace {

std::string row(const std::string& cell, int number, const std::string& name,
                const std::string& value = "Not resolved.") {
    return "<tr>" + cell + std::to_string(number) + "</td>" + cell + name + "</td>" + cell + value +
           "</td></tr>\r\n";
}

std::string dnsDocument(const std::string& rows4, const std::string& rows6) {
    return reportDocument("DNS", headerRow({"No.", "Name", "IPv4 Address"}), rows4,
                          headerRow({"No.", "Name", "IPv6 Address"}), rows6);
}

class DnsReportTest : public ReportTest {
  protected:
    std::string written() {
        EXPECT_EQ(writeDnsReport(nullptr), 0);
        return report("dns.html");
    }
};

TEST_F(DnsReportTest, RowsBySlotColouredWhenUnanswered) {
    useSafeList({"safe.example"});
    nameRecord(nameTable4[0], "a<b>&c.example", addr4("192.0.2.10")); // written unescaped
    nameRecord(nameTable4[2], "lost.example", Address4(0));
    nameRecord(nameTable4[3], "safe.example", Address4(0));
    nameRecord(nameTable4[4], "safe.example", addr4("192.0.2.11")); // answered: plain though listed
    nameTable4[5].address = addr4("192.0.2.99");                    // no name: no row
    nameRecord(nameTable4[999], "last.example", addr4("255.255.255.255"));
    nameRecord(nameTable6[1], "v6.example", addr6("2001:db8:0:0:0:0:0:1"));
    nameRecord(nameTable6[2], "pending6.example", Address6{});
    EXPECT_EQ(written(),
              dnsDocument(
                  row(kPlain, 1, "a<b>&c.example", "192.0.2.10") + row(kRed, 3, "lost.example") +
                      row(kBlue, 4, "safe.example") + row(kPlain, 5, "safe.example", "192.0.2.11") +
                      row(kPlain, 1000, "last.example", "255.255.255.255"),
                  row(kPlain, 2, "v6.example", "2001:db8::1") + row(kRed, 3, "pending6.example")));
}

TEST_F(DnsReportTest, DotlessNamesAreExcusedOnlyWhenTheSettingIsExactlyOne) {
    const struct {
        int32_t ignoreDotless;
        bool listed;
        const std::string& cell;
    } cases[] = {{0, false, kRed}, {1, false, kBlue}, {7, false, kRed}, {0, true, kBlue}};
    for (const auto& c : cases) {
        settings.ignoreDotlessNames = c.ignoreDotless;
        useSafeList({c.listed ? "FILESERVER" : "unrelated"});
        nameRecord(nameTable4[0], "FILESERVER", Address4(0), 1);
        nameRecord(nameTable4[1], "PRINTER", addr4("192.0.2.5"), 1); // answered: always plain
        nameRecord(nameTable6[0], "FILESERVER", Address6{}, 1);
        EXPECT_EQ(written(),
                  dnsDocument(row(c.cell, 1, "FILESERVER") + row(kPlain, 2, "PRINTER", "192.0.2.5"),
                              row(c.cell, 1, "FILESERVER")))
            << c.ignoreDotless << c.listed;
    }
}

} // namespace
