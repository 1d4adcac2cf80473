// libFuzzer target: every input is the text of a setting.ini, read from the
// defaults on a 1920 x 1080 screen as at start-up. It aborts when the record
// does not read back (composed, read and composed again: the same bytes) or a
// field with a range rule lies outside it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kSettingsFileMax) return 0; // the load reads no more
    screenWidth = 1920;
    screenHeight = 1080;
    applyDefaultSettings();
    parseSettingsText(reinterpret_cast<const char*>(data), int(size));
    static char first[kSettingsFileMax], second[kSettingsFileMax];
    const int n = composeSettingsText(first, sizeof first);
    parseSettingsText(first, n);
    const Settings& s = settings;
    int32_t colors = 0; // every component's bits above the low 8
    for (const ColorSetting* c : {&s.backgroundColor, &s.ipv4FrameColor, &s.ipv6FrameColor,
                                  &s.dnsColor, &s.tcpColor, &s.icmpColor})
        colors |= (c->red | c->green | c->blue) & ~0xFF;
    if (composeSettingsText(second, sizeof second) != n || std::memcmp(first, second, size_t(n)) ||
        colors || s.windowX < 0 || s.windowX > 1920 || s.windowY < 0 || s.windowY > 1080 ||
        s.fontSize < 6 || s.fontSize > 256 || s.opacity < 1 || s.opacity > 255 ||
        s.twoLineProcessNames >> 1 || s.hideErrorRates >> 1)
        std::abort();
    return 0;
}
