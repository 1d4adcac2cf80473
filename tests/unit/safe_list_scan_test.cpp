// safelist.txt: the scan, the limits and the look-up.
#include <cstdio>
#include <cstring>

#include "settings/safe_list.h"
#include "settings_test_dir.h"

namespace {

class SafeListTest : public ConfigDirTest {
  protected:
    void SetUp() override {
        ConfigDirTest::SetUp();
        std::memset(safeList, 0, sizeof safeList);
        useSafeListCount(0);
    }

    // Parses `text` and makes its entries the list, as start-up does.
    int use(const std::string& text) {
        int n = parseSafeListText(text.data(), int(text.size()));
        useSafeListCount(n);
        return n;
    }
};

struct ScanCase {
    const char* name;
    std::string text;
    int count;
    std::vector<std::string> entries;
};

const std::string k250 = std::string(250, 'h');

const ScanCase kScanCases[] = {
    {"a # ends the entry, trailing space removed", "example.com # office\r\n", 1, {"example.com"}},
    {"leading spaces skipped", "   10.0.0.1\r\n", 1, {"10.0.0.1"}},
    {"leading tabs and spaces skipped", "\t \t10.0.0.1", 1, {"10.0.0.1"}},
    {"5 bytes dropped, 6 stored", "a.com\r\nab.com\r\n", 1, {"ab.com"}},
    {"254 bytes stored", std::string(254, 'h'), 1, {std::string(254, 'h')}},
    {"255 bytes dropped", std::string(255, 'h'), 0, {}},
    {"length counts the trailing spaces", "ab    \r\n", 1, {"ab"}},
    {"254 with trailing spaces stored", k250 + "    ", 1, {k250}},
    {"255 with trailing spaces dropped", k250 + "     ", 0, {}},
    {"a trailing tab stays", "host.example\t\r\n", 1, {"host.example\t"}},
    {"tab then spaces: only the spaces go", "abcdef\t  \r\n", 1, {"abcdef\t"}},
    {"comment lines", "# comment\r\n  # indented host.example\r\nexample.org", 1, {"example.org"}},
    {"# right after six bytes", "abcdef#ghijkl", 1, {"abcdef"}},
    {"# after five bytes", "abcde#fghijk", 0, {}},
    {"# after one byte", "x#abcdefgh", 0, {}},
    {"blanks before # are trimmed", "abcdefg  #x", 1, {"abcdefg"}},
    {"inner spaces kept", "my host name\r\n", 1, {"my host name"}},
    {"CR, LF and runs of them end lines",
     "one.example\rtwo.example\n\n\r\n\r\rthree.example\n",
     3,
     {"one.example", "two.example", "three.example"}},
    {"blank lines only", "    \r\n\t\t\r\n\r\n", 0, {}},
    {"empty text", "", 0, {}},
    {"the text ends at a NUL",
     std::string("first.example\r\nsecond.example\0third.example", 43),
     2,
     {"first.example", "second.example"}},
};

TEST_F(SafeListTest, Scan) {
    for (const ScanCase& c : kScanCases) {
        SCOPED_TRACE(c.name);
        std::memset(safeList, 0, sizeof safeList);
        EXPECT_EQ(parseSafeListText(c.text.data(), int(c.text.size())), c.count);
        for (size_t i = 0; i < c.entries.size(); ++i) {
            EXPECT_EQ(std::string(safeList[i]), c.entries[i]) << "slot " << i;
        }
        EXPECT_EQ(safeList[c.entries.size()][0], '\0'); // nothing more was stored
    }
}

std::string hostLines(int count) {
    std::string text;
    char line[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "host-%03d.example\r\n", i);
        text += line;
    }
    return text;
}

TEST_F(SafeListTest, HundredEntriesAreUsed) {
    EXPECT_EQ(use(hostLines(100)), 100);
    EXPECT_EQ(safeListCount, 100);
    char host[32];
    for (int i = 0; i < 100; ++i) {
        std::snprintf(host, sizeof host, "host-%03d.example", i);
        EXPECT_TRUE(isSafeListed(host)) << host;
        std::snprintf(host, sizeof host, "host-%03d.exampl", i);
        EXPECT_FALSE(isSafeListed(host)) << host;
    }
    EXPECT_FALSE(isSafeListed("host-100.example"));
}

TEST_F(SafeListTest, HundredAndOneEntriesGiveAnEmptyList) {
    EXPECT_EQ(use(hostLines(101)), 101);
    EXPECT_EQ(safeListCount, 0);
    EXPECT_STREQ(safeList[99], "host-099.example"); // the 101st had no slot
    EXPECT_FALSE(isSafeListed("host-000.example"));
}

TEST_F(SafeListTest, LookUpIsExactAndCaseSensitive) {
    ASSERT_EQ(use("example.com\r\nExample.org\r\n10.0.0.1\r\n2001:db8::1\r\nhost.example\t\r\n"),
              5);
    const struct {
        const char* text;
        bool listed;
    } cases[] = {
        {"example.com", true},
        {"Example.com", false},
        {"example.co", false},
        {"example.com.", false},
        {"Example.org", true},
        {"example.org", false},
        {"10.0.0.1", true},
        {"10.0.0.10", false},
        {"2001:db8::1", true},
        {"2001:DB8::1", false},
        {"host.example", false},
        {"host.example\t", true},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isSafeListed(c.text), c.listed) << c.text;
    }
}

TEST_F(SafeListTest, OnlyTheCountedEntriesAreLookedAt) {
    ASSERT_EQ(parseSafeListText("alpha.example\nbeta.example\ngamma.example\n", 41), 3);
    useSafeListCount(2);
    EXPECT_TRUE(isSafeListed("beta.example"));
    EXPECT_FALSE(isSafeListed("gamma.example"));
    useSafeListCount(-1);
    EXPECT_EQ(safeListCount, 0);
    EXPECT_FALSE(isSafeListed("alpha.example"));
}

TEST_F(SafeListTest, DirectlyWrittenSlotsAreSeen) {
    std::strcpy(safeList[0], "direct.example");
    useSafeListCount(1);
    EXPECT_TRUE(isSafeListed("direct.example"));
    // A count set without useSafeListCount is noticed too.
    std::strcpy(safeList[1], "second.example");
    safeListCount = 2;
    EXPECT_TRUE(isSafeListed("second.example"));
    // A slot without its NUL matches nothing, and is not read past.
    std::memset(safeList[2], 'a', kSafeListEntrySize);
    useSafeListCount(3);
    EXPECT_FALSE(isSafeListed(std::string(255, 'a').c_str()));
    EXPECT_FALSE(isSafeListed(std::string(256, 'a').c_str()));
    EXPECT_TRUE(isSafeListed("direct.example"));
}

TEST_F(SafeListTest, MissingFileGivesNoEntriesAndNoMessage) {
    EXPECT_EQ(loadSafeList(nullptr), 0);
    EXPECT_TRUE(recordedMessages().empty());
    EXPECT_FALSE(fileExists("safelist.txt")); // never created
}

TEST_F(SafeListTest, EmptyFileGivesNoEntries) {
    writeFile("safelist.txt", "");
    EXPECT_EQ(loadSafeList(nullptr), 0);
}

// first.example, a comment line, and last.example ending at the file's end.
std::string paddedList(size_t size) {
    const std::string first = "first.example\r\n";
    const std::string last = "last.example";
    std::string file =
        first + "#" + std::string(size - first.size() - last.size() - 3, 'x') + "\r\n" + last;
    EXPECT_EQ(file.size(), size);
    return file;
}

TEST_F(SafeListTest, FileOf25600BytesIsReadToTheEnd) {
    writeFile("safelist.txt", paddedList(25600));
    EXPECT_EQ(loadSafeList(nullptr), 2);
    EXPECT_STREQ(safeList[1], "last.example");
    EXPECT_EQ(safeListCount, 0); // start-up sets the count
    EXPECT_TRUE(recordedMessages().empty());
}

TEST_F(SafeListTest, FileOf25601BytesGivesSizeError) {
    writeFile("safelist.txt", paddedList(25601));
    EXPECT_EQ(loadSafeList(nullptr), -1);
    ASSERT_EQ(recordedMessages().size(), 1u);
    EXPECT_EQ(recordedMessages()[0].text, "safelist.txt file size too large.");
    EXPECT_EQ(recordedMessages()[0].caption, "SIZE ERROR");
    EXPECT_EQ(recordedMessages()[0].icon, MessageIcon::Error);
    EXPECT_EQ(safeList[0][0], '\0');
}

} // namespace
