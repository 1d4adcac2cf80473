// setting.ini: the bytes written, the key search, the load rules, the size
// limit and the open errors.
#include <cstring>

#include "settings_test_dir.h"

namespace {

// The default font face "ＭＳ Ｐゴシック" in code page 932.
const std::string kDefaultFace = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";

// The 29 lines the defaults give on a single 1920 x 1080 screen.
const std::string kDefaultFile =
    "winX=960\r\nwinY=0\r\nwintop=1\r\nfsize=18\r\nfontface=" + kDefaultFace +
    "\r\nftype=400\r\ntoumeido=255\r\nbackR=0\r\nbackG=0\r\nbackB=0\r\nrectR=0\r\nrectG=255\r\n"
    "rectB=0\r\nrect2R=255\r\nrect2G=0\r\nrect2B=255\r\ntext1R=255\r\ntext1G=192\r\ntext1B=128\r\n"
    "text2R=255\r\ntext2G=255\r\ntext2B=0\r\ntext3R=128\r\ntext3G=192\r\ntext3B=255\r\n"
    "sNIC=undefined\r\ndnsdot=0\r\ndispprc=1\r\nnotdisperr=1\r\n";

// The text a save would write now.
std::string composed() {
    char out[kSettingsFileMax];
    const int n = composeSettingsText(out, sizeof out);
    return std::string(out, size_t(n));
}

// The line of `key` in that text, without its CR LF.
std::string savedLine(const std::string& key) {
    const std::string text = "\r\n" + composed();
    size_t at = text.find("\r\n" + key + "=");
    if (at == std::string::npos) return "(no " + key + ")";
    at += 2;
    return text.substr(at, text.find("\r\n", at) - at);
}

using SettingsFileTest = ConfigDirTest;

TEST_F(SettingsFileTest, MissingFileIsWrittenWithTheDefaults) {
    EXPECT_EQ(loadSettings(nullptr), 0);
    EXPECT_EQ(readFile("setting.ini"), kDefaultFile);
    EXPECT_EQ(std::string(settings.fontFace), kDefaultFace);
    EXPECT_TRUE(recordedMessages.empty());
}

TEST_F(SettingsFileTest, LoadRules) {
    const std::string f31(31, 'f'), f32(32, 'f'), n255(255, 'n'), n256(256, 'n');
    const struct {
        std::string file;
        std::vector<std::string> lines; // what a save writes after reading `file`
    } cases[] = {
        // A key counts at a line start (after CR LF only), in any case, on its
        // first line, and with at least three characters after it.
        {"fsize=20\r\nFSIZE=30\r\n", {"fsize=20"}},
        {"WINY=7\r\n winX=7\r\n", {"winY=7", "winX=960"}},
        {"\r\n\r\nwinY=2\r\n", {"winY=2"}},
        {"a=1\nwinY=2\r\n", {"winY=0"}},
        {"a=1\rwinY=2\r\n", {"winY=0"}},
        {"ftype=12", {"ftype=400"}},
        {"ftype=123", {"ftype=123"}},
        {"winX=5\r\nnotdisperr=0", {"notdisperr=1"}},
        {"winX=5\r\nnotdisperr=0\r\n", {"notdisperr=0"}},
        {std::string("winY=50\r\n\0\r\nfsize=20\r\n", 22), {"winY=50", "fsize=18"}},
        // A value runs to CR or LF; numbers read like atoi; texts whole or not at all.
        {"sNIC=eth0\nwinY=200\n", {"sNIC=eth0"}},
        {"fontface= Arial \rx\r\nsNIC=\r\nx=1\r\n", {"fontface= Arial ", "sNIC="}},
        {"fsize=  +12abc\r\nftype=-700x\r\nwintop=10000000000000000000\r\n",
         {"fsize=12", "ftype=-700", "wintop=2147483647"}},
        {"fontface=" + f31 + "\r\nsNIC=" + n255 + "\r\n", {"fontface=" + f31, "sNIC=" + n255}},
        {"fontface=" + f32 + "\r\nsNIC=" + n256 + "\r\n",
         {"fontface=" + kDefaultFace, "sNIC=undefined"}},
        // Range rules.
        {"fsize=abc\r\n", {"fsize=6"}},
        {"fsize=5\r\ntoumeido=0\r\ndispprc=-1\r\nnotdisperr=2\r\nwinX=-1\r\nwinY=-1\r\n",
         {"fsize=6", "toumeido=1", "dispprc=1", "notdisperr=1", "winX=0", "winY=0"}},
        {"fsize=257\r\ntoumeido=256\r\ndispprc=5\r\nwinX=1921\r\nwinY=1081\r\n",
         {"fsize=256", "toumeido=255", "dispprc=1", "winX=0", "winY=0"}},
        {"dispprc=0\r\nnotdisperr=0\r\nwinX=1920\r\nwinY=1080\r\ndnsdot=7\r\nwintop=5\r\n",
         {"dispprc=0", "notdisperr=0", "winX=1920", "winY=1080", "dnsdot=7", "wintop=5"}},
    };
    for (const auto& c : cases) {
        applyDefaultSettings();
        parseSettingsText(c.file.data(), int(c.file.size()));
        for (const std::string& line : c.lines)
            EXPECT_EQ(savedLine(line.substr(0, line.find('='))), line) << c.file;
    }
}

TEST_F(SettingsFileTest, EveryColourComponentOutside0To255BecomesZero) {
    std::string file, expected;
    for (const char* colour : {"back", "rect", "rect2", "text1", "text2", "text3"}) {
        for (int i = 0; i < 3; ++i) {
            const std::string key = colour + std::string(1, "RGB"[i]) + "=";
            file += key + (i == 0 ? "256" : i == 1 ? "-1" : "255") + "\r\n";
            expected += key + (i == 2 ? "255" : "0") + "\r\n";
        }
    }
    parseSettingsText(file.data(), int(file.size()));
    EXPECT_NE(composed().find("toumeido=255\r\n" + expected + "sNIC="), std::string::npos);
}

TEST_F(SettingsFileTest, SizeLimitIs4096Bytes) {
    for (size_t size : {4096, 4097}) {
        recordedMessages.clear();
        applyDefaultSettings();
        // fsize on the first line, ftype on the last, ending at the file's end.
        const std::string file =
            "fsize=20\r\n#" + std::string(size - 24, 'x') + "\r\nftype=700\r\n";
        writeFile("setting.ini", file);
        EXPECT_EQ(loadSettings(nullptr), size == 4096 ? 0 : -1);
        EXPECT_EQ(settings.fontSize, size == 4096 ? 20 : 18);
        EXPECT_EQ(settings.fontWeight, size == 4096 ? 700 : 400);
        EXPECT_EQ(readFile("setting.ini"), file); // never rewritten by a load
        if (size == 4096)
            EXPECT_TRUE(recordedMessages.empty());
        else
            expectOneMessage("setting.ini file size too large.", "SIZE ERROR");
    }
}

TEST_F(SettingsFileTest, ComposeSkipsLinesThatWouldReachTheLimit) {
    // 10 + 8 + 10 bytes fit below 38; fsize=18 (10) would reach 38 and is left
    // out, as are the next three; backR=0 (9) still fits.
    char out[38];
    const int n = composeSettingsText(out, sizeof out);
    EXPECT_EQ(std::string(out, size_t(n)), "winX=960\r\nwinY=0\r\nwintop=1\r\nbackR=0\r\n");
    EXPECT_EQ(out[n], '\0');
}

TEST_F(SettingsFileTest, UnopenableFileKeepsTheRecordAndShowsOpenError) {
    // A directory in the file's place can be neither opened nor created.
    std::filesystem::create_directory(pathOf("setting.ini"));
    settings.fontSize = 30;
    EXPECT_EQ(loadSettings(nullptr), 0);
    EXPECT_EQ(settings.fontSize, 30);
    expectOneMessage(dir_ + "/", "OPEN ERROR");

    recordedMessages.clear();
    setFileDirectory(FileRole::Config, (dir_ + "/missing/").c_str());
    EXPECT_EQ(saveSettings(nullptr), -1);
    expectOneMessage(dir_ + "/missing/", "OPEN ERROR");
}

} // namespace
