// The document frame the four reports share, and how a report fails.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "reports/reports.h"
#include "reports_test_util.h"

namespace {

struct ReportCase {
    const char* file;
    int32_t (*write)(WindowHandle);
    std::string document; // with empty tables
    const char* message;  // when the file cannot be created
};

const std::vector<ReportCase>& reportCases() {
    static const std::vector<ReportCase> cases = {
        {"dns.html", writeDnsReport,
         reportHead("DNS") + "<table>" + headerRow({"No.", "Name", "IPv4 Address"}) +
             headerRow({"No.", "Name", "IPv6 Address"}) + "</table>\r\n</body></html>\r\n",
         "dns.htmlファイルをオープンできませんでした。"},
        {"tcp.html", writeTcpReport,
         reportHead("TCP") + "<table>" +
             headerRow({"No.", "IPv4 Address", "Name", "Local Port", "Total", "Resend", "Status",
                        "Process"}) +
             headerRow({"No.", "IPv6 Address", "Name", "Local Port", "Total", "Resend", "Status",
                        "Process"}) +
             "</table>\r\n</body></html>\r\n",
         "tcp.htmlファイルをオープンできませんでした。"},
        {"icmp.html", writeIcmpReport,
         reportHead("ICMP") + "<table>" +
             headerRow(
                 {"No.", "ICMP from|to", "IPv4 Target", "Name", "Type", "Code", "Direction"}) +
             headerRow(
                 {"No.", "ICMP from|to", "IPv6 Target", "Name", "Type", "Code", "Direction"}) +
             "</table>\r\n</body></html>\r\n",
         "icmp.htmlファイルをオープンできませんでした。"},
        // The process report opens a second table and closes only one.
        {"process.html", writeProcessReport,
         reportHead("プロセス") + "<table>" +
             headerRow({"No.", "プロセス", "IPv4 Address", "Host Name"}) + "<table>" +
             headerRow({"No.", "プロセス", "IPv6 Address", "Host Name"}) +
             "</table>\r\n</body></html>\r\n",
         "process.htmlファイルをオープンできませんでした。"},
    };
    return cases;
}

struct Shown {
    std::string text, caption;
    MessageIcon icon;
};
std::vector<Shown> shownMessages;
void recordMessage(const char* text, const char* caption, MessageIcon icon) {
    shownMessages.push_back({text, caption, icon});
}

using ReportFrameTest = ReportTest;

TEST_F(ReportFrameTest, EmptyTablesGiveTheFrameOnly) {
    for (const ReportCase& c : reportCases()) {
        EXPECT_EQ(c.write(nullptr), 0) << c.file;
        EXPECT_EQ(report(c.file), c.document) << c.file;
    }
}

TEST_F(ReportFrameTest, HeadTitleIsCodePage932) {
    // "プロセス" in code page 932.
    const std::string title = "\x83\x76\x83\x8D\x83\x5A\x83\x58";
    ASSERT_EQ(writeProcessReport(nullptr), 0);
    EXPECT_NE(report("process.html").find("<title>" + title + "</title>\r\n"), std::string::npos);
}

TEST_F(ReportFrameTest, ReportPathIsInTheReportDirectory) {
    char path[kReportPathSize];
    reportFilePath("tcp.html", path, sizeof path);
    EXPECT_EQ(std::string(path), directory + "/tcp.html");
}

TEST_F(ReportFrameTest, UncreatableFileShowsTheFileNameAndReturnsNonzero) {
    const std::string missing = directory + "/missing";
    setFileDirectory(FileRole::Report, missing.c_str());
    platformSetMessageBoxHook(recordMessage);
    for (const ReportCase& c : reportCases()) {
        shownMessages.clear();
        EXPECT_NE(c.write(nullptr), 0) << c.file;
        ASSERT_EQ(shownMessages.size(), 1u) << c.file;
        EXPECT_EQ(shownMessages[0].text, c.message);
        EXPECT_EQ(shownMessages[0].caption, "OPEN ERROR");
        EXPECT_EQ(shownMessages[0].icon, MessageIcon::Error);
    }
    platformSetMessageBoxHook(nullptr);
    struct stat st;
    EXPECT_NE(stat(missing.c_str(), &st), 0); // nothing was created
}

TEST_F(ReportFrameTest, SecondRunOverwritesTheFirst) {
    nameTable4[0].address = 0x0100000a; // 10.0.0.1
    std::strcpy(nameTable4[0].name, "first.example");
    ASSERT_EQ(writeDnsReport(nullptr), 0);
    ASSERT_NE(report("dns.html").find("first.example"), std::string::npos);
    resetTrafficTables();
    ASSERT_EQ(writeDnsReport(nullptr), 0);
    EXPECT_EQ(report("dns.html"), reportCases()[0].document);
}

TEST_F(ReportFrameTest, StoredTextsAreWrittenUnescaped) {
    nameTable4[0].address = 0x0100000a;
    std::strcpy(nameTable4[0].name, "a<b>&c\"d'.example");
    ASSERT_EQ(writeDnsReport(nullptr), 0);
    EXPECT_NE(report("dns.html").find("<td>a<b>&c\"d'.example</td>"), std::string::npos);
}

} // namespace
