// libFuzzer target: every input is the text of a setting.ini.
//
// Each input starts from the defaults on a 1920 x 1080 screen, as start-up
// does, and is read with parseSettingsText. Any broken rule aborts the run:
//   - fontFace and selectedInterface end with a NUL inside their arrays;
//   - every field with a range rule lies inside its range;
//   - findIniKey answers only with a position right after the key at the start
//     of a line, followed by at least three characters;
//   - composing the record, reading that text back and composing again gives
//     the same bytes, below the 4096-byte file limit and ending with CR LF.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/settings.h"

namespace {

void fail(const char* what) {
    std::fprintf(stderr, "settings rule broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

bool inRange(int32_t v, int32_t low, int32_t high) {
    return v >= low && v <= high;
}

bool colorInRange(const ColorSetting& c) {
    return inRange(c.red, 0, 255) && inRange(c.green, 0, 255) && inRange(c.blue, 0, 255);
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

void checkKeyPosition(const char* key, const char* text, int length) {
    const int keyLength = int(std::strlen(key));
    const int p = findIniKey(key, text, length);
    if (p < 0) return;
    check(p >= keyLength && p + 2 < length, "key position inside the text");
    const int start = p - keyLength;
    for (int i = 0; i < keyLength; ++i) {
        check(lower(text[start + i]) == lower(key[i]), "the key precedes its position");
    }
    check(start == 0 || (start >= 2 && text[start - 2] == '\r' && text[start - 1] == '\n'),
          "the key starts a line");
}

void checkRecord() {
    check(std::memchr(settings.fontFace, '\0', kFontFaceSize) != nullptr, "fontFace NUL");
    check(std::memchr(settings.selectedInterface, '\0', kSelectedInterfaceSize) != nullptr,
          "selectedInterface NUL");
    check(inRange(settings.windowX, 0, screenWidth), "windowX");
    check(inRange(settings.windowY, 0, screenHeight), "windowY");
    check(inRange(settings.fontSize, 6, 256), "fontSize");
    check(inRange(settings.opacity, 1, 255), "opacity");
    check(colorInRange(settings.backgroundColor) && colorInRange(settings.ipv4FrameColor) &&
              colorInRange(settings.ipv6FrameColor) && colorInRange(settings.dnsColor) &&
              colorInRange(settings.tcpColor) && colorInRange(settings.icmpColor),
          "colours");
    check(inRange(settings.twoLineProcessNames, 0, 1), "twoLineProcessNames");
    check(inRange(settings.hideErrorRates, 0, 1), "hideErrorRates");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kSettingsFileMax) return 0; // the load reads no more
    const char* text = reinterpret_cast<const char*>(data);
    const int length = int(size);

    screenWidth = 1920;
    screenHeight = 1080;
    applyDefaultSettings();
    parseSettingsText(text, length);
    checkRecord();

    // The search sees the text up to its first NUL, as the load does.
    const void* nul = std::memchr(text, '\0', size);
    const int searched = nul ? int(static_cast<const char*>(nul) - text) : length;
    for (const char* key : {"winX=", "fsize=", "fontface=", "sNIC=", "notdisperr="}) {
        checkKeyPosition(key, text, searched);
    }

    static char first[kSettingsFileMax];
    static char second[kSettingsFileMax];
    const int n = composeSettingsText(first, sizeof first);
    check(n > 0 && n < kSettingsFileMax && first[n] == '\0', "composed length");
    check(first[n - 2] == '\r' && first[n - 1] == '\n', "composed text ends with CR LF");
    parseSettingsText(first, n);
    checkRecord();
    const int m = composeSettingsText(second, sizeof second);
    check(m == n && std::memcmp(first, second, size_t(n)) == 0, "the record reads back");
    return 0;
}
