#include "settings/settings.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "settings/config_file.h"

Settings settings;
int32_t screenWidth;
int32_t screenHeight;

namespace {

const char kSettingsFileName[] = "setting.ini";

// One line of setting.ini: a number field or a text field of the record.
struct IniKey {
    const char* key;               // with its "="
    int32_t* (*number)(Settings&); // the number field, or null for a text
    char* (*text)(Settings&);      // the text field, or null for a number
    int textSize;                  // the text field's array size
};

#define NUMBER_KEY(name, field)                                                                    \
    {                                                                                              \
        name, [](Settings& s) { return &s.field; }, nullptr, 0                                     \
    }
#define TEXT_KEY(name, field)                                                                      \
    {                                                                                              \
        name, nullptr, [](Settings& s) { return s.field; }, int(sizeof(Settings::field))           \
    }

// In the order the file lists them. Loading looks every key up from the start
// of the text, so the order matters only for writing.
const IniKey kIniKeys[] = {
    NUMBER_KEY("winX=", windowX),
    NUMBER_KEY("winY=", windowY),
    NUMBER_KEY("wintop=", alwaysOnTop),
    NUMBER_KEY("fsize=", fontSize),
    TEXT_KEY("fontface=", fontFace),
    NUMBER_KEY("ftype=", fontWeight),
    NUMBER_KEY("toumeido=", opacity),
    NUMBER_KEY("backR=", backgroundColor.red),
    NUMBER_KEY("backG=", backgroundColor.green),
    NUMBER_KEY("backB=", backgroundColor.blue),
    NUMBER_KEY("rectR=", ipv4FrameColor.red),
    NUMBER_KEY("rectG=", ipv4FrameColor.green),
    NUMBER_KEY("rectB=", ipv4FrameColor.blue),
    NUMBER_KEY("rect2R=", ipv6FrameColor.red),
    NUMBER_KEY("rect2G=", ipv6FrameColor.green),
    NUMBER_KEY("rect2B=", ipv6FrameColor.blue),
    NUMBER_KEY("text1R=", dnsColor.red),
    NUMBER_KEY("text1G=", dnsColor.green),
    NUMBER_KEY("text1B=", dnsColor.blue),
    NUMBER_KEY("text2R=", tcpColor.red),
    NUMBER_KEY("text2G=", tcpColor.green),
    NUMBER_KEY("text2B=", tcpColor.blue),
    NUMBER_KEY("text3R=", icmpColor.red),
    NUMBER_KEY("text3G=", icmpColor.green),
    NUMBER_KEY("text3B=", icmpColor.blue),
    TEXT_KEY("sNIC=", selectedInterface),
    NUMBER_KEY("dnsdot=", ignoreDotlessNames),
    NUMBER_KEY("dispprc=", twoLineProcessNames),
    NUMBER_KEY("notdisperr=", hideErrorRates),
};

#undef NUMBER_KEY
#undef TEXT_KEY

void setText(char* field, int fieldSize, const char* value) {
    std::snprintf(field, size_t(fieldSize), "%s", value);
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool isAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// atoi over [p, end): leading white space, an optional sign, decimal digits up
// to the first other character; no digits give 0. Out-of-range numbers stop at
// INT_MIN or INT_MAX, as the Windows C runtime's atoi does.
int32_t atoiRange(const char* p, const char* end) {
    while (p < end && isAsciiSpace(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    int64_t value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > int64_t(INT_MAX) + 1) value = int64_t(INT_MAX) + 1; // saturate
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return int32_t(value);
}

void clampColor(ColorSetting& color) {
    for (int32_t* c : {&color.red, &color.green, &color.blue}) {
        if (*c < 0 || *c > 255) *c = 0;
    }
}

// The corrections applied after loading, in field order.
void applyRangeRules(Settings& s) {
    if (s.windowX < 0 || s.windowX > screenWidth) s.windowX = 0;
    if (s.windowY < 0 || s.windowY > screenHeight) s.windowY = 0;
    s.fontSize = std::clamp(s.fontSize, kMinFontSize, kMaxFontSize);
    s.opacity = std::clamp(s.opacity, kMinOpacity, kMaxOpacity);
    clampColor(s.backgroundColor);
    clampColor(s.ipv4FrameColor);
    clampColor(s.ipv6FrameColor);
    clampColor(s.dnsColor);
    clampColor(s.tcpColor);
    // The ICMP colour gets the same check as the others, so that a hand-edited
    // text3R=300 reads back as 0 like every other component.
    clampColor(s.icmpColor);
    if (s.twoLineProcessNames != 0) s.twoLineProcessNames = 1;
    if (s.hideErrorRates != 0) s.hideErrorRates = 1;
}

// The text of the OPEN ERROR message: the directory part of `path` without its
// drive ("\Kestrava\" for "C:\Kestrava\setting.ini"); the file name itself when
// the path has no directory (the executable's directory was unknown).
void openErrorText(const char* path, char* out, size_t size) {
    const char* lastSeparator = nullptr;
    for (const char* p = path; *p; ++p) {
        if (*p == '/' || *p == '\\') lastSeparator = p;
    }
    if (!lastSeparator) {
        std::snprintf(out, size, "%s", path);
        return;
    }
    const char* start = path;
    if (((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
        path[1] == ':') {
        start += 2;
    }
    std::snprintf(out, size, "%.*s", int(lastSeparator + 1 - start), start);
}

} // namespace

void applyDefaultSettings() {
    Settings& s = settings;
    s.windowX = screenWidth / 2;
    s.windowY = 0;
    s.alwaysOnTop = 1;
    s.fontSize = 18;
    setText(s.fontFace, kFontFaceSize, "ＭＳ Ｐゴシック");
    s.fontWeight = 400;
    s.opacity = 255;
    s.backgroundColor = {0, 0, 0};
    s.ipv4FrameColor = {0, 255, 0};
    s.ipv6FrameColor = {255, 0, 255};
    s.dnsColor = {255, 192, 128};
    s.tcpColor = {255, 255, 0};
    s.icmpColor = {128, 192, 255};
    setText(s.selectedInterface, kSelectedInterfaceSize, "undefined");
    s.ignoreDotlessNames = 0;
    s.twoLineProcessNames = 1;
    s.hideErrorRates = 1;
}

int findIniKey(const char* key, const char* text, int length) {
    const int keyLength = int(std::strlen(key));
    int p = 0; // a line start: 0, or right after a CR LF pair
    for (;;) {
        // At least three characters must follow the key.
        if (p + keyLength + 2 >= length) return -1;
        int i = 0;
        while (i < keyLength && asciiLower(text[p + i]) == asciiLower(key[i])) ++i;
        if (i == keyLength) return p + keyLength;
        int q = p;
        while (q + 1 < length && !(text[q] == '\r' && text[q + 1] == '\n')) ++q;
        if (q + 1 >= length) return -1;
        p = q + 2;
    }
}

void parseSettingsText(const char* text, int length) {
    if (length < 0) length = 0;
    const char* nul = static_cast<const char*>(std::memchr(text, '\0', size_t(length)));
    if (nul) length = int(nul - text);

    for (const IniKey& k : kIniKeys) {
        int start = findIniKey(k.key, text, length);
        if (start < 0) continue;
        int end = start;
        while (end < length && text[end] != '\r' && text[end] != '\n') ++end;
        if (k.number) {
            *k.number(settings) = atoiRange(text + start, text + end);
        } else if (end - start <= k.textSize - 1) {
            // A text that does not fit leaves the field as it was.
            char* field = k.text(settings);
            std::memcpy(field, text + start, size_t(end - start));
            field[end - start] = '\0';
        }
    }
    applyRangeRules(settings);
}

int composeSettingsText(char* out, int size) {
    if (size <= 0) return 0;
    const int limit = size < kSettingsFileMax ? size : kSettingsFileMax;
    int total = 0;
    out[0] = '\0';
    for (const IniKey& k : kIniKeys) {
        char line[kSelectedInterfaceSize + 32];
        int n;
        if (k.number) {
            n = std::snprintf(line, sizeof line, "%s%d\r\n", k.key, int(*k.number(settings)));
        } else {
            const char* value = k.text(settings);
            int valueLength = int(strnlen(value, size_t(k.textSize - 1)));
            n = std::snprintf(line, sizeof line, "%s%.*s\r\n", k.key, valueLength, value);
        }
        // A line that would bring the text to the limit is left out; the next may fit.
        if (n < 0 || total + n >= limit) continue;
        std::memcpy(out + total, line, size_t(n));
        total += n;
        out[total] = '\0';
    }
    return total;
}

int loadSettings(WindowHandle owner) {
    char text[kSettingsFileMax];
    int length;
    switch (readConfigFile(kSettingsFileName, kSettingsFileMax, "setting.ini file size too large.",
                           owner, text, &length)) {
    case ConfigRead::NotOpened:
        // Missing, read-only or in use: write the current values instead.
        saveSettings(owner);
        return 0;
    case ConfigRead::TooLarge:
        return -1; // the defaults stay
    case ConfigRead::Read:
        break;
    }
    parseSettingsText(text, length);
    return 0;
}

int saveSettings(WindowHandle owner) {
    char path[1024];
    filePathFor(FileRole::Config, kSettingsFileName, path, sizeof path);

    PlatformFile file = platformCreateAlways(path);
    if (file == kNoFile) {
        char text[1024];
        openErrorText(path, text, sizeof text);
        platformMessageBox(owner, text, "OPEN ERROR", MessageIcon::Error);
        return -1;
    }
    char text[kSettingsFileMax];
    int length = composeSettingsText(text, sizeof text);
    platformWriteFile(file, text, length);
    platformCloseFile(file);
    return 0;
}
