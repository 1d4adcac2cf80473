// setting.ini and safelist.txt: their load rules, size limits and open errors,
// the list's look-up; where the files lie; the message box on standard error.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/safe_list.h"
#include "settings/settings.h"

namespace {

// The line of `key` in the text a save would write now, without its CR LF.
std::string savedLine(const std::string& key) {
    char out[kSettingsFileMax];
    const std::string text =
        "\r\n" + std::string(out, size_t(composeSettingsText(out, sizeof out)));
    const size_t at = text.find("\r\n" + key + "=") + 2;
    return text.substr(at, text.find("\r\n", at) - at);
}

TEST(SettingsFileTest, LoadRules) {
    const std::string f31(31, 'f'), n255(255, 'n'),
        face = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53"
               "\x83\x56\x83\x62\x83\x4E";
    const struct {
        std::string file;
        std::vector<std::string> lines; // what a save writes after reading `file`
    } cases[] = {
        // A key counts at a line start (after CR LF), in any case, once, and
        // with at least three characters after it.
        {"fsize=20\r\nFSIZE=30\r\n", {"fsize=20"}},
        {"WINY=7\r\n winX=7\r\n", {"winY=7", "winX=960"}},
        {"\r\n\r\nwinY=2\r\na=1\nwintop=0\r\na=1\rdnsdot=1\r\n",
         {"winY=2", "wintop=1", "dnsdot=0"}},
        {"ftype=12", {"ftype=400"}},
        {"ftype=123", {"ftype=123"}},
        {"winX=5\r\nnotdisperr=0", {"notdisperr=1"}},
        {"winX=5\r\nnotdisperr=0\r\n", {"notdisperr=0"}},
        {std::string("winY=50\r\n\0\r\nfsize=20\r\n", 22), {"winY=50", "fsize=18"}},
        // A value runs to CR or LF; numbers read like atoi; texts whole or not at all.
        {"sNIC=eth0\nwinY=200\n", {"sNIC=eth0"}},
        {"fontface= Arial \rx\r\nsNIC=\r\nx=1\r\n", {"fontface= Arial ", "sNIC="}},
        {"fsize=\t +12abc\r\nftype= -700x\r\n", {"fsize=12", "ftype=-700"}},
        {"wintop=10000000000000000000\r\ndnsdot=-9999999999\r\n",
         {"wintop=2147483647", "dnsdot=-2147483648"}},
        {"fontface=" + f31 + "\r\nsNIC=" + n255 + "\r\n", {"fontface=" + f31, "sNIC=" + n255}},
        {"fontface=" + f31 + "f\r\nsNIC=" + n255 + "n\r\n", {"fontface=" + face, "sNIC=undefined"}},
        // Range rules, the ICMP colour's included.
        {"fsize=abc\r\nbackR=256\r\nbackG=-1\r\nbackB=255\r\ntext3R=300\r\ntext3G=-5\r\n",
         {"fsize=6", "backR=0", "backG=0", "backB=255", "text3R=0", "text3G=0"}},
        {"fsize=5\r\ntoumeido=0\r\ndispprc=-1\r\nnotdisperr=2\r\nwinX=-1\r\nwinY=-1\r\n",
         {"fsize=6", "toumeido=1", "dispprc=1", "notdisperr=1", "winX=0", "winY=0"}},
        {"fsize=257\r\ntoumeido=256\r\ndispprc=5\r\nwinX=1921\r\nwinY=1081\r\n",
         {"fsize=256", "toumeido=255", "dispprc=1", "winX=0", "winY=0"}},
        {"dispprc=0\r\nnotdisperr=0\r\nwinX=1920\r\nwinY=1080\r\ndnsdot=7\r\nwintop=5\r\n",
         {"dispprc=0", "notdisperr=0", "winX=1920", "winY=1080", "dnsdot=7", "wintop=5"}},
    };
    screenWidth = 1920;
    screenHeight = 1080;
    for (const auto& c : cases) {
        applyDefaultSettings();
        parseSettingsText(c.file.data(), int(c.file.size()));
        for (const std::string& line : c.lines)
            EXPECT_EQ(savedLine(line.substr(0, line.find('='))), line) << c.file;
    }
    // A save leaves out a line that would reach the limit; a shorter one may
    // follow: after 10 + 8 + 10 bytes fsize=18 (10) would reach 38, backR=0 not.
    char out[38];
    applyDefaultSettings();
    EXPECT_EQ(std::string(out, size_t(composeSettingsText(out, sizeof out))),
              "winX=960\r\nwinY=0\r\nwintop=1\r\nbackR=0\r\n");
}

std::vector<std::string> messages; // "CAPTION: text" of each message box

TEST(SettingsFileTest, SizeLimitsAndOpenErrors) {
    const std::string dir = testing::TempDir() + "kestrava-config-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    setFileDirectory(FileRole::Config, dir.c_str());
    platformSetMessageBoxHook([](const char* text, const char* caption, MessageIcon icon) {
        messages.push_back(std::string(caption) + ": " + text +
                           (icon == MessageIcon::Error ? "" : "!"));
    });
    screenWidth = 1920;
    screenHeight = 1080;
    for (int size : {4096, 4097}) {
        // fsize on the first line, ftype on the last, ending at the file's end.
        std::ofstream(dir + "/setting.ini", std::ios::binary)
            << "fsize=20\r\n#" + std::string(size - 24, 'x') + "\r\nftype=700\r\n";
        applyDefaultSettings();
        EXPECT_EQ(loadSettings(nullptr), size == 4096 ? 0 : -1);
        EXPECT_EQ(savedLine("fsize") + savedLine("ftype"),
                  size == 4096 ? "fsize=20ftype=700" : "fsize=18ftype=400");
        std::ofstream(dir + "/safelist.txt", std::ios::binary)
            << "first.example\r\n#" + std::string(size * 25 / 4 - 30, 'x') + "\r\nlast.example";
        std::memset(safeList, 0, sizeof safeList);
        EXPECT_EQ(loadSafeList(nullptr), size == 4096 ? 2 : -1); // 25600 or 25606 bytes
        EXPECT_STREQ(safeList[1], size == 4096 ? "last.example" : "");
    }
    EXPECT_EQ(std::filesystem::file_size(dir + "/setting.ini"), 4097u); // a load never writes
    EXPECT_EQ(saveSettings(nullptr), 0);
    EXPECT_EQ(std::filesystem::file_size(dir + "/setting.ini"), 336u); // the 29 default lines

    // No list is no error and creates nothing; a setting.ini that cannot be
    // opened keeps the record; the message names the directory without a drive.
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/setting.ini");
    EXPECT_EQ(loadSafeList(nullptr), 0);
    EXPECT_FALSE(std::filesystem::exists(dir + "/safelist.txt"));
    settings.fontSize = 30;
    EXPECT_EQ(loadSettings(nullptr), 0);
    EXPECT_EQ(settings.fontSize, 30);
    for (const char* missing : {"a:\\missing", "Z:\\missing/", "A:\\missing", "z:\\missing/"}) {
        setFileDirectory(FileRole::Config, missing);
        EXPECT_EQ(saveSettings(nullptr), -1);
    }
    EXPECT_EQ(messages,
              (std::vector<std::string>{"SIZE ERROR: setting.ini file size too large.",
                                        "SIZE ERROR: safelist.txt file size too large.",
                                        "OPEN ERROR: " + dir + "/", "OPEN ERROR: \\missing/",
                                        "OPEN ERROR: \\missing/", "OPEN ERROR: \\missing/",
                                        "OPEN ERROR: \\missing/"}));
    platformSetMessageBoxHook(nullptr);
    setFileDirectory(FileRole::Config, nullptr);
    std::filesystem::remove_all(dir);
}

TEST(SafeListTest, Scan) {
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

TEST(SafeListTest, LookUp) {
    // 101 entries of valid length make no list; the 101st had no slot.
    std::string text;
    for (int i = 0; i < 101; ++i) text += "host-" + std::to_string(1000 + i) + ".example\r\n";
    useSafeListCount(parseSafeListText(text.data(), int(text.size())));
    EXPECT_EQ(safeListCount, 0);
    EXPECT_FALSE(isSafeListed("host-1000.example"));
    EXPECT_STREQ(safeList[99], "host-1099.example");
    useSafeListCount(parseSafeListText(text.data(), int(text.size()) - 19)); // 100 entries
    for (int i = 0; i < 100; ++i) {
        const std::string host = "host-" + std::to_string(1000 + i) + ".example";
        EXPECT_TRUE(isSafeListed(host.c_str()) && !isSafeListed(host.substr(1).c_str())) << host;
    }
    // Exact, case-sensitive, whole, within the first safeListCount entries.
    text = "example.com\r\n2001:db8::1\r\nhost.example\t\r\n";
    useSafeListCount(parseSafeListText(text.data(), int(text.size())));
    for (const char* hit : {"example.com", "2001:db8::1", "host.example\t"})
        EXPECT_TRUE(isSafeListed(hit)) << hit;
    for (const char* miss : {"Example.com", "example.co", "example.com.", "host.example", ""})
        EXPECT_FALSE(isSafeListed(miss)) << miss;
    useSafeListCount(2);
    EXPECT_FALSE(isSafeListed("host.example\t"));
    safeListCount = 3;
    EXPECT_TRUE(isSafeListed("host.example\t"));
    std::strcpy(safeList[1], "direct.example");
    useSafeListCount(-1);
    EXPECT_FALSE(isSafeListed("example.com"));
    useSafeListCount(2);
    EXPECT_TRUE(isSafeListed("direct.example"));
}

// A role not pointed anywhere, or pointed back with "", is beside the program.
TEST(PlatformFileTest, FilesLieBesideTheExecutable) {
    char path[1024], exeDir[1024];
    ASSERT_TRUE(platformExecutableDirectory(exeDir, sizeof exeDir));
    EXPECT_EQ(access((std::string(exeDir) + "kestrava-unit-settings").c_str(), X_OK), 0);
    filePathFor(FileRole::Report, "tcp.html", path, sizeof path);
    EXPECT_EQ(path, std::string(exeDir) + "tcp.html");
    setFileDirectory(FileRole::Config, "/tmp/");
    setFileDirectory(FileRole::Config, "");
    filePathFor(FileRole::Config, "setting.ini", path, sizeof path);
    EXPECT_EQ(path, std::string(exeDir) + "setting.ini");
}

// The terminal's encoding is learnt at the first message shown on standard error.
TEST(PlatformMessageTest, StandardErrorGetsCaptionAndConvertedText) {
    setenv("LC_ALL", "C.UTF-8", 1);
    testing::internal::CaptureStderr();
    // "エラー" in code page 932.
    platformMessageBox(nullptr, "no file", "\x83\x47\x83\x89\x81\x5B", MessageIcon::Error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC: no file\n");
}

} // namespace
