// setting.ini: the bytes written, the load rules, the size limit and the open errors.
#include <unistd.h>

#include <climits>
#include <cstring>
#include <sys/stat.h>

#include "settings_test_dir.h"

namespace {

// The default font face "ＭＳ Ｐゴシック" in code page 932.
const std::string kDefaultFace = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";

// The file the defaults give on a single 1920 x 1080 screen, line by line.
const std::string kDefaultFile = "winX=960\r\n"
                                 "winY=0\r\n"
                                 "wintop=1\r\n"
                                 "fsize=18\r\n"
                                 "fontface=" +
                                 kDefaultFace +
                                 "\r\n"
                                 "ftype=400\r\n"
                                 "toumeido=255\r\n"
                                 "backR=0\r\n"
                                 "backG=0\r\n"
                                 "backB=0\r\n"
                                 "rectR=0\r\n"
                                 "rectG=255\r\n"
                                 "rectB=0\r\n"
                                 "rect2R=255\r\n"
                                 "rect2G=0\r\n"
                                 "rect2B=255\r\n"
                                 "text1R=255\r\n"
                                 "text1G=192\r\n"
                                 "text1B=128\r\n"
                                 "text2R=255\r\n"
                                 "text2G=255\r\n"
                                 "text2B=0\r\n"
                                 "text3R=128\r\n"
                                 "text3G=192\r\n"
                                 "text3B=255\r\n"
                                 "sNIC=undefined\r\n"
                                 "dnsdot=0\r\n"
                                 "dispprc=1\r\n"
                                 "notdisperr=1\r\n";

using SettingsFileTest = ConfigDirTest;

TEST_F(SettingsFileTest, MissingFileIsWrittenWithTheDefaults) {
    ASSERT_FALSE(fileExists("setting.ini"));
    EXPECT_EQ(loadSettings(nullptr), 0);
    EXPECT_EQ(readFile("setting.ini"), kDefaultFile);
    EXPECT_TRUE(recordedMessages().empty());
    EXPECT_EQ(std::string(settings.fontFace), kDefaultFace);
    EXPECT_EQ(std::strlen(settings.fontFace), 15u);
}

TEST_F(SettingsFileTest, DefaultWindowXIsHalfTheScreenWidthTruncated) {
    screenWidth = 1365;
    applyDefaultSettings();
    EXPECT_EQ(settings.windowX, 682);
}

// One field read back after loading a file.
struct NumberCase {
    const char* name;
    std::string file;
    int32_t (*field)(const Settings&);
    int32_t expected;
};

int32_t windowX(const Settings& s) {
    return s.windowX;
}
int32_t windowY(const Settings& s) {
    return s.windowY;
}
int32_t alwaysOnTop(const Settings& s) {
    return s.alwaysOnTop;
}
int32_t fontSize(const Settings& s) {
    return s.fontSize;
}
int32_t fontWeight(const Settings& s) {
    return s.fontWeight;
}
int32_t opacity(const Settings& s) {
    return s.opacity;
}
int32_t backRed(const Settings& s) {
    return s.backgroundColor.red;
}
int32_t backBlue(const Settings& s) {
    return s.backgroundColor.blue;
}
int32_t ipv6FrameGreen(const Settings& s) {
    return s.ipv6FrameColor.green;
}
int32_t dnsGreen(const Settings& s) {
    return s.dnsColor.green;
}
int32_t tcpBlue(const Settings& s) {
    return s.tcpColor.blue;
}
int32_t icmpRed(const Settings& s) {
    return s.icmpColor.red;
}
int32_t dotless(const Settings& s) {
    return s.ignoreDotlessNames;
}
int32_t twoLine(const Settings& s) {
    return s.twoLineProcessNames;
}
int32_t hideRates(const Settings& s) {
    return s.hideErrorRates;
}

const NumberCase kNumberCases[] = {
    // where a key is recognised
    {"key case is ignored", "WINX=100\r\n", windowX, 100},
    {"a leading blank hides the key", " winX=100\r\n", windowX, 960},
    {"a blank before = hides the key", "winX =100\r\n", windowX, 960},
    {"the first of two lines counts", "fsize=20\r\nfsize=30\r\n", fontSize, 20},
    {"key after an empty line", "\r\nwinY=7\r\n", windowY, 7},
    {"lone CR does not end a line", "a=1\rwinY=7\r\n", windowY, 0},
    {"LF-only lines: first line found", "dnsdot=1\nwinY=200\n", dotless, 1},
    {"LF-only lines: later line not found", "dnsdot=1\nwinY=200\n", windowY, 0},
    {"last line without line end", "winX=5\r\nnotdisperr=0", hideRates, 1},
    {"last line with CR LF", "winX=5\r\nnotdisperr=0\r\n", hideRates, 0},
    {"nothing after the key but CR LF", "ftype=\r\n", fontWeight, 400},
    {"empty value with a line after", "ftype=\r\n\r\n", fontWeight, 0},
    {"the text ends at a NUL", std::string("winX=100\r\n\0winY=5\r\n", 20), windowY, 0},
    {"the value ends at a lone CR", "fsize=12\r34\r\n", fontSize, 12},
    // atoi
    {"leading blanks and junk after", "fsize=  12abc\r\n", fontSize, 12},
    {"leading tab", "ftype=\t42\r\n", fontWeight, 42},
    {"plus sign", "fsize=+15\r\n", fontSize, 15},
    {"minus sign and junk", "ftype=-700x\r\n", fontWeight, -700},
    {"sign without digits", "ftype=- 5\r\n", fontWeight, 0},
    {"huge number stops at the maximum", "ftype=99999999999\r\n", fontWeight, INT_MAX},
    {"huge negative stops at the minimum", "ftype=-99999999999\r\n", fontWeight, INT_MIN},
    // range rules
    {"fsize 3 raised", "fsize=3\r\n", fontSize, 6},
    {"fsize 999 lowered", "fsize=999\r\n", fontSize, 256},
    {"fsize junk is 0, raised", "fsize=abc\r\n", fontSize, 6},
    {"fsize 256 kept", "fsize=256\r\n", fontSize, 256},
    {"toumeido 0 raised", "toumeido=0\r\n", opacity, 1},
    {"toumeido 300 lowered", "toumeido=300\r\n", opacity, 255},
    {"toumeido 1 kept", "toumeido=1\r\n", opacity, 1},
    {"backR 300 gives 0", "backR=300\r\n", backRed, 0},
    {"backR -1 gives 0", "backR=-1\r\n", backRed, 0},
    {"backB 255 kept", "backB=255\r\n", backBlue, 255},
    {"rect2G 256 gives 0", "rect2G=256\r\n", ipv6FrameGreen, 0},
    {"text1G 77 kept", "text1G=77\r\n", dnsGreen, 77},
    {"text2B -5 gives 0", "text2B=-5\r\n", tcpBlue, 0},
    {"text3R 300 gives 0 like the others", "text3R=300\r\n", icmpRed, 0},
    {"dispprc 5 gives 1", "dispprc=5\r\n", twoLine, 1},
    {"dispprc -1 gives 1", "dispprc=-1\r\n", twoLine, 1},
    {"dispprc 0 kept", "dispprc=0\r\n", twoLine, 0},
    {"notdisperr 2 gives 1", "notdisperr=2\r\n", hideRates, 1},
    {"dnsdot has no rule", "dnsdot=7\r\n", dotless, 7},
    {"wintop has no rule", "wintop=5\r\n", alwaysOnTop, 5},
    {"winX beyond the screen gives 0", "winX=5000\r\n", windowX, 0},
    {"winX at the screen width kept", "winX=1920\r\n", windowX, 1920},
    {"winX negative gives 0", "winX=-1\r\n", windowX, 0},
    {"winY at the screen height kept", "winY=1080\r\n", windowY, 1080},
    {"winY beyond the screen gives 0", "winY=1081\r\n", windowY, 0},
};

TEST_F(SettingsFileTest, NumberRules) {
    for (const NumberCase& c : kNumberCases) {
        SCOPED_TRACE(c.name);
        applyDefaultSettings();
        writeFile("setting.ini", c.file);
        EXPECT_EQ(loadSettings(nullptr), 0);
        EXPECT_EQ(c.field(settings), c.expected);
        // A file that could be opened is read, never rewritten.
        EXPECT_EQ(readFile("setting.ini"), c.file);
    }
    EXPECT_TRUE(recordedMessages().empty());
}

struct TextCase {
    const char* name;
    std::string file;
    std::string fontFace;
    std::string selectedInterface;
};

const TextCase kTextCases[] = {
    {"plain values", "fontface=Arial\r\nsNIC=eth0 adapter\r\n", "Arial", "eth0 adapter"},
    {"key case ignored", "FONTFACE=Arial\r\nSnic=eth0\r\n", "Arial", "eth0"},
    {"31-byte face taken", "fontface=" + std::string(31, 'f') + "\r\n", std::string(31, 'f'),
     "undefined"},
    {"32-byte face left out", "fontface=" + std::string(32, 'f') + "\r\n", kDefaultFace,
     "undefined"},
    {"255-byte interface taken", "sNIC=" + std::string(255, 'n') + "\r\n", kDefaultFace,
     std::string(255, 'n')},
    {"256-byte interface left out", "sNIC=" + std::string(256, 'n') + "\r\n", kDefaultFace,
     "undefined"},
    {"blanks are part of the value", "fontface= Arial \r\n", " Arial ", "undefined"},
    {"an empty value is taken", "sNIC=\r\nx=1\r\n", kDefaultFace, ""},
    {"code page 932 bytes kept", "fontface=" + kDefaultFace + "\r\n", kDefaultFace, "undefined"},
};

TEST_F(SettingsFileTest, TextRules) {
    for (const TextCase& c : kTextCases) {
        SCOPED_TRACE(c.name);
        applyDefaultSettings();
        writeFile("setting.ini", c.file);
        EXPECT_EQ(loadSettings(nullptr), 0);
        EXPECT_EQ(std::string(settings.fontFace), c.fontFace);
        EXPECT_EQ(std::string(settings.selectedInterface), c.selectedInterface);
    }
}

// A file of `size` bytes whose first line sets fsize and whose last line, ending
// exactly at the end of the file, sets ftype.
std::string paddedFile(size_t size) {
    const std::string first = "fsize=20\r\n";
    const std::string last = "ftype=700\r\n";
    std::string middle = "#";
    middle += std::string(size - first.size() - last.size() - 3, 'x');
    middle += "\r\n";
    std::string file = first + middle + last;
    EXPECT_EQ(file.size(), size);
    return file;
}

TEST_F(SettingsFileTest, FileOf4096BytesIsReadToTheEnd) {
    writeFile("setting.ini", paddedFile(4096));
    EXPECT_EQ(loadSettings(nullptr), 0);
    EXPECT_EQ(settings.fontSize, 20);
    EXPECT_EQ(settings.fontWeight, 700);
    EXPECT_TRUE(recordedMessages().empty());
}

TEST_F(SettingsFileTest, FileOf4097BytesGivesSizeErrorAndDefaults) {
    const std::string file = paddedFile(4097);
    writeFile("setting.ini", file);
    EXPECT_EQ(loadSettings(nullptr), -1);
    ASSERT_EQ(recordedMessages().size(), 1u);
    EXPECT_EQ(recordedMessages()[0].text, "setting.ini file size too large.");
    EXPECT_EQ(recordedMessages()[0].caption, "SIZE ERROR");
    EXPECT_EQ(recordedMessages()[0].icon, MessageIcon::Error);
    EXPECT_EQ(settings.fontSize, 18);
    EXPECT_EQ(settings.fontWeight, 400);
    EXPECT_EQ(readFile("setting.ini"), file); // left for the next save to overwrite
}

TEST_F(SettingsFileTest, SavedValuesLoadBack) {
    settings.windowX = 10;
    settings.windowY = 20;
    settings.alwaysOnTop = 0;
    settings.fontSize = 24;
    std::strcpy(settings.fontFace, "Consolas");
    settings.fontWeight = 700;
    settings.opacity = 128;
    settings.backgroundColor = {1, 2, 3};
    settings.ipv4FrameColor = {4, 5, 6};
    settings.ipv6FrameColor = {7, 8, 9};
    settings.dnsColor = {10, 11, 12};
    settings.tcpColor = {13, 14, 15};
    settings.icmpColor = {16, 17, 18};
    std::strcpy(settings.selectedInterface, "Intel(R) Ethernet Connection");
    settings.ignoreDotlessNames = 1;
    settings.twoLineProcessNames = 0;
    settings.hideErrorRates = 0;
    const Settings saved = settings;

    ASSERT_EQ(saveSettings(nullptr), 0);
    applyDefaultSettings();
    ASSERT_EQ(loadSettings(nullptr), 0);

    EXPECT_EQ(settings.windowX, 10);
    EXPECT_EQ(settings.windowY, 20);
    EXPECT_EQ(settings.alwaysOnTop, 0);
    EXPECT_EQ(settings.fontSize, 24);
    EXPECT_STREQ(settings.fontFace, "Consolas");
    EXPECT_EQ(settings.fontWeight, 700);
    EXPECT_EQ(settings.opacity, 128);
    const ColorSetting Settings::*colors[] = {&Settings::backgroundColor, &Settings::ipv4FrameColor,
                                              &Settings::ipv6FrameColor,  &Settings::dnsColor,
                                              &Settings::tcpColor,        &Settings::icmpColor};
    for (auto color : colors) {
        EXPECT_EQ((settings.*color).red, (saved.*color).red);
        EXPECT_EQ((settings.*color).green, (saved.*color).green);
        EXPECT_EQ((settings.*color).blue, (saved.*color).blue);
    }
    EXPECT_STREQ(settings.selectedInterface, "Intel(R) Ethernet Connection");
    EXPECT_EQ(settings.ignoreDotlessNames, 1);
    EXPECT_EQ(settings.twoLineProcessNames, 0);
    EXPECT_EQ(settings.hideErrorRates, 0);
}

TEST_F(SettingsFileTest, UncreatableFileGivesOpenErrorWithItsDirectory) {
    const std::string missing = dir_ + "/no-such-dir/";
    setFileDirectory(FileRole::Config, missing.c_str());

    EXPECT_EQ(saveSettings(nullptr), -1);
    // The load cannot open the file either; it tries to save, which fails too.
    settings.fontSize = 30;
    EXPECT_EQ(loadSettings(nullptr), 0);
    EXPECT_EQ(settings.fontSize, 30); // the record in memory is kept

    ASSERT_EQ(recordedMessages().size(), 2u);
    for (const RecordedMessage& m : recordedMessages()) {
        EXPECT_EQ(m.text, missing);
        EXPECT_EQ(m.caption, "OPEN ERROR");
        EXPECT_EQ(m.icon, MessageIcon::Error);
    }
}

TEST_F(SettingsFileTest, ReadOnlyFileIsNeverRead) {
    if (geteuid() == 0) GTEST_SKIP() << "root may open a read-only file for writing";
    const std::string file = "winX=100\r\n";
    writeFile("setting.ini", file);
    ASSERT_EQ(chmod(pathOf("setting.ini").c_str(), 0444), 0);

    EXPECT_EQ(loadSettings(nullptr), 0);
    EXPECT_EQ(settings.windowX, 960);
    ASSERT_EQ(recordedMessages().size(), 1u);
    EXPECT_EQ(recordedMessages()[0].text, dir_ + "/");
    EXPECT_EQ(recordedMessages()[0].caption, "OPEN ERROR");
    EXPECT_EQ(readFile("setting.ini"), file);
}

} // namespace
