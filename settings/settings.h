// The user's choices: one process-wide record, kept in setting.ini beside the
// executable (29 key=value lines, code page 932, CR LF).
#pragma once

#include <cstdint>

#include "platform/platform.h"

// A colour; each component is drawn from its low 8 bits.
struct ColorSetting {
    int32_t red;
    int32_t green;
    int32_t blue;
};

constexpr int kFontFaceSize = 32;           // at most 31 bytes
constexpr int kSelectedInterfaceSize = 256; // at most 255 bytes
constexpr int kSettingsFileMax = 4096;

// The ranges the record is held to, after loading and in the settings dialog.
constexpr int32_t kMinFontSize = 6;
constexpr int32_t kMaxFontSize = 256;
constexpr int32_t kMinOpacity = 1; // nearly invisible, never gone
constexpr int32_t kMaxOpacity = 255;

// Fields in the order setting.ini lists them (but fontFace, which the file puts
// right after fontSize).
struct Settings {
    int32_t windowX;
    int32_t windowY;
    int32_t alwaysOnTop;
    int32_t fontSize;
    char fontFace[kFontFaceSize];
    int32_t fontWeight;
    int32_t opacity;
    ColorSetting backgroundColor;
    ColorSetting ipv4FrameColor;
    ColorSetting ipv6FrameColor;
    ColorSetting dnsColor;
    ColorSetting tcpColor;
    ColorSetting icmpColor;
    char selectedInterface[kSelectedInterfaceSize];
    int32_t ignoreDotlessNames;
    int32_t twoLineProcessNames;
    int32_t hideErrorRates;
};

extern Settings settings;

// The area the window may be placed in, taken once at start-up before the
// defaults are applied.
extern int32_t screenWidth;
extern int32_t screenHeight;

void applyDefaultSettings();

// Reads setting.ini (writing the current values when it cannot be opened).
// 0 = read or newly written; -1 = the file is above 4096 bytes (message shown).
int loadSettings(WindowHandle owner);

// Writes setting.ini. 0 = written; -1 = could not be created (message shown).
int saveSettings(WindowHandle owner);

// The text handling of loadSettings, apart from the file: reads the keys of
// `text` (`length` bytes, or up to its first NUL) into `settings`, then applies
// the range rules to every field.
void parseSettingsText(const char* text, int length);

// The text saveSettings writes: the 29 key=value lines with CR LF, each line
// only when it keeps the whole below min(`size`, 4096) bytes. `out` is
// NUL-terminated; returns the length without the NUL.
int composeSettingsText(char* out, int size);

// Position of the first character after `key` (which includes its "=") at the
// start of a line of `text` (length `length`), or -1 when not found.
int findIniKey(const char* key, const char* text, int length);
