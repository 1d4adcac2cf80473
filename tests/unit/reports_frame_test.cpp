// The document frame the four reports share, and how a report fails.
#include "reports/reports.h"
#include "reports_test_util.h"

namespace {

using ReportFrameTest = ReportTest;

TEST_F(ReportFrameTest, EmptyTablesGiveTheFrameOnlyEvenOnASecondRun) {
    // The process report opens a second table and closes only one.
    const std::string empty =
        reportDocument("プロセス", headerRow({"No.", "プロセス", "IPv4 Address", "Host Name"}), "",
                       "<table>" + headerRow({"No.", "プロセス", "IPv6 Address", "Host Name"}), "");
    ASSERT_EQ(empty.substr(16, 15), "<title>\x83\x76\x83\x8D\x83\x5A\x83\x58"); // code page 932
    std::strcpy(processAddresses4[0].process, "first.exe");
    processAddresses4[0].address = addr4("192.0.2.1");
    ASSERT_EQ(writeProcessReport(nullptr), 0);
    ASSERT_NE(report("process.html").find("first.exe"), std::string::npos);
    resetTrafficTables();
    ASSERT_EQ(writeProcessReport(nullptr), 0);
    EXPECT_EQ(report("process.html"), empty); // overwritten, not appended to
}

std::vector<std::string> shownMessages;
void recordMessage(const char* text, const char* caption, MessageIcon icon) {
    shownMessages.push_back(std::string(text) + "|" + caption +
                            (icon == MessageIcon::Error ? "|E" : "|?"));
}

TEST_F(ReportFrameTest, UncreatableFileNamesTheFileAndReturnsNonzero) {
    const std::string missing = directory + "/missing";
    setFileDirectory(FileRole::Report, missing.c_str());
    platformSetMessageBoxHook(recordMessage);
    const struct {
        int32_t (*write)(WindowHandle);
        const char* message;
    } cases[] = {
        {writeDnsReport, "dns.htmlファイルをオープンできませんでした。|OPEN ERROR|E"},
        {writeTcpReport, "tcp.htmlファイルをオープンできませんでした。|OPEN ERROR|E"},
        {writeIcmpReport, "icmp.htmlファイルをオープンできませんでした。|OPEN ERROR|E"},
        {writeProcessReport, "process.htmlファイルをオープンできませんでした。|OPEN ERROR|E"},
    };
    for (const auto& c : cases) {
        shownMessages.clear();
        EXPECT_NE(c.write(nullptr), 0);
        EXPECT_EQ(shownMessages, std::vector<std::string>{c.message});
    }
    platformSetMessageBoxHook(nullptr);
    EXPECT_FALSE(std::filesystem::exists(missing));
}

} // namespace
