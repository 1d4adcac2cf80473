// safelist.txt: the scan, the limits and the look-up.
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
        const int n = parseSafeListText(text.data(), int(text.size()));
        useSafeListCount(n);
        return n;
    }
};

TEST_F(SafeListTest, Scan) {
    const std::string h254(254, 'h');
    const struct {
        std::string text;
        std::vector<std::string> entries;
    } cases[] = {
        {"example.com # office\r\n", {"example.com"}},
        {"\t \t10.0.0.1", {"10.0.0.1"}},
        {"a.com\r\nab.com\r\n", {"ab.com"}},  // 5 bytes are too few, 6 enough
        {h254 + "\r\n" + h254 + "h", {h254}}, // 255 are too many
        {"ab    \r\n", {"ab"}},               // trailing spaces count, then go
        {"abcdef\t  \r\n", {"abcdef\t"}},     // a tab stays
        {"my host name", {"my host name"}},
        {"# comment\r\n  # indented.example\r\nexample.org", {"example.org"}},
        {"abcdef#ghijkl\r\nx#abcdefgh", {"abcdef"}},
        {"one.example\rtwo.example\n\n\r\n\r\rthree.example\n",
         {"one.example", "two.example", "three.example"}},
        {"    \r\n\t\t\r\n", {}},
        {std::string("first.example\r\n\0third.example", 29), {"first.example"}},
    };
    for (const auto& c : cases) {
        std::memset(safeList, 0, sizeof safeList);
        EXPECT_EQ(parseSafeListText(c.text.data(), int(c.text.size())), int(c.entries.size()))
            << c.text;
        for (size_t i = 0; i <= c.entries.size(); ++i)
            EXPECT_EQ(safeList[i], i < c.entries.size() ? c.entries[i] : "") << c.text;
    }
}

TEST_F(SafeListTest, HundredEntriesAreUsedAndHundredAndOneNone) {
    std::string text;
    for (int i = 0; i < 101; ++i) text += "host-" + std::to_string(1000 + i) + ".example\r\n";
    EXPECT_EQ(use(text), 101);
    EXPECT_EQ(safeListCount, 0);
    EXPECT_FALSE(isSafeListed("host-1000.example"));
    EXPECT_STREQ(safeList[99], "host-1099.example"); // the 101st had no slot

    text.resize(text.size() - 19); // the last line off
    EXPECT_EQ(use(text), 100);
    for (int i = 0; i < 100; ++i) {
        const std::string host = "host-" + std::to_string(1000 + i) + ".example";
        EXPECT_TRUE(isSafeListed(host.c_str())) << host;
        EXPECT_FALSE(isSafeListed(host.substr(1).c_str())) << host;
    }
}

TEST_F(SafeListTest, LookUpIsExactAndCaseSensitive) {
    ASSERT_EQ(use("example.com\r\n2001:db8::1\r\nhost.example\t\r\n"), 3);
    for (const char* text : {"example.com", "2001:db8::1", "host.example\t"})
        EXPECT_TRUE(isSafeListed(text)) << text;
    for (const char* text :
         {"Example.com", "example.co", "example.com.", "2001:DB8::1", "host.example", ""})
        EXPECT_FALSE(isSafeListed(text)) << text;
    // Only the first safeListCount entries count, however the count was set.
    useSafeListCount(2);
    EXPECT_FALSE(isSafeListed("host.example\t"));
    safeListCount = 3;
    EXPECT_TRUE(isSafeListed("host.example\t"));
    std::strcpy(safeList[1], "direct.example"); // a slot written directly
    useSafeListCount(-1);
    EXPECT_FALSE(isSafeListed("example.com"));
    useSafeListCount(2);
    EXPECT_TRUE(isSafeListed("direct.example"));
}

TEST_F(SafeListTest, FileIsOptionalAndAtMost25600Bytes) {
    EXPECT_EQ(loadSafeList(nullptr), 0);
    EXPECT_FALSE(std::filesystem::exists(pathOf("safelist.txt"))); // never created
    for (size_t size : {25600, 25601}) {
        // first.example, a comment, and last.example ending at the file's end.
        writeFile("safelist.txt",
                  "first.example\r\n#" + std::string(size - 30, 'x') + "\r\nlast.example");
        std::memset(safeList, 0, sizeof safeList);
        EXPECT_EQ(loadSafeList(nullptr), size == 25600 ? 2 : -1);
        EXPECT_STREQ(safeList[1], size == 25600 ? "last.example" : "");
    }
    expectOneMessage("safelist.txt file size too large.", "SIZE ERROR");
}

} // namespace
