// The key search and the composed text of setting.ini, without files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/settings.h"

namespace {

struct KeyCase {
    const char* key;
    std::string text;
    int expected;
};

const KeyCase kKeyCases[] = {
    {"winX=", "winX=1\r\n", 5},
    {"winX=", "winX=1", -1},  // one character after the key
    {"winX=", "winX=12", -1}, // two
    {"winX=", "winX=123", 5}, // three
    {"winY=", "winX=1\r\nwinY=2\r\n", 13},
    {"winY=", "winX=1\nwinY=2\r\n", -1}, // LF alone does not start a line
    {"winY=", "winX=1\rwinY=2\r\n", -1}, // nor does CR alone
    {"winY=", "\r\n\r\nwinY=2\r\n", 9},  // empty lines are lines
    {"WINY=", "winy=2\r\n", 5},
    {"winY=", " winY=2\r\n", -1},
    {"b=", "aaaa\r\nb=12", -1}, // the stop rule: 6 + 2 + 2 is not below 10
    {"b=", "aaaa\r\nb=123", 8},
    {"winX=", "winXX=1\r\n", -1},
    {"winX=", "", -1},
};

TEST(SettingsTextTest, FindIniKey) {
    for (const KeyCase& c : kKeyCases) {
        SCOPED_TRACE(std::string(c.key) + " in \"" + c.text + "\"");
        EXPECT_EQ(findIniKey(c.key, c.text.data(), int(c.text.size())), c.expected);
    }
}

TEST(SettingsTextTest, ComposeWritesNegativeNumbersAndTextsAsStored) {
    screenWidth = 1920;
    screenHeight = 1080;
    applyDefaultSettings();
    settings.windowX = -5;
    settings.fontWeight = 2147483647;
    std::strcpy(settings.fontFace, "Meiryo UI");
    std::strcpy(settings.selectedInterface, "");
    char out[kSettingsFileMax];
    const int n = composeSettingsText(out, sizeof out);
    const std::string text(out, size_t(n));
    EXPECT_EQ(out[n], '\0');
    EXPECT_EQ(text.substr(0, 10), "winX=-5\r\nw");
    EXPECT_NE(text.find("\r\nfontface=Meiryo UI\r\nftype=2147483647\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nsNIC=\r\ndnsdot=0\r\n"), std::string::npos);
}

TEST(SettingsTextTest, ComposeSkipsLinesThatWouldReachTheLimit) {
    screenWidth = 1920;
    screenHeight = 1080;
    applyDefaultSettings();
    // 10 + 8 + 10 bytes fit below 38; fsize=18 (10) would reach 38 and is left
    // out, as are fontface, ftype and toumeido; backR=0 (9) still fits.
    char out[38];
    const int n = composeSettingsText(out, sizeof out);
    EXPECT_EQ(std::string(out, size_t(n)), "winX=960\r\nwinY=0\r\nwintop=1\r\nbackR=0\r\n");
    EXPECT_EQ(out[n], '\0');
}

TEST(SettingsTextTest, FullLengthTextsStayBelowTheFileLimit) {
    applyDefaultSettings();
    std::memset(settings.fontFace, 'f', kFontFaceSize - 1);
    settings.fontFace[kFontFaceSize - 1] = '\0';
    std::memset(settings.selectedInterface, 'n', kSelectedInterfaceSize - 1);
    settings.selectedInterface[kSelectedInterfaceSize - 1] = '\0';
    char out[kSettingsFileMax];
    const int n = composeSettingsText(out, sizeof out);
    EXPECT_LT(n, kSettingsFileMax);
    const std::string text(out, size_t(n));
    EXPECT_NE(text.find("\r\nfontface=" + std::string(31, 'f') + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nsNIC=" + std::string(255, 'n') + "\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 14), "notdisperr=1\r\n");
}

} // namespace
