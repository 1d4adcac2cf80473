// The settings dialog's working copy: the colour each radio button and bar
// edits, the bar arithmetic and its clamping, the preview's frame, OK.
#include <gtest/gtest.h>

#include <string>

#include "settings/settings_dialog.h"

namespace {

std::string rgb(const ColorSetting& c) {
    return std::to_string(c.red) + " " + std::to_string(c.green) + " " + std::to_string(c.blue);
}

TEST(SettingsDialogTest, WorkingCopyBarsAndOk) {
    applyDefaultSettings();
    settings.opacity = 200;
    ColorSetting* fields[] = {&settings.backgroundColor, &settings.dnsColor,
                              &settings.tcpColor,        &settings.icmpColor,
                              &settings.ipv4FrameColor,  &settings.ipv6FrameColor};
    for (int i = 0; i < 6; ++i) *fields[i] = {10 * i + 1, 10 * i + 2, 10 * i + 3};
    startSettingsDialog();
    EXPECT_EQ(selectedTarget, kTargetBackground);
    // Radio buttons 1008 to 1013 and their colours; the preview's frame is
    // IPv6's only while that one is edited.
    const int buttons[] = {1008, 1009, 1010, 1012, 1011, 1013};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(colorTargetOfButton(buttons[i]), i);
        EXPECT_EQ(rgb(dialogColors[i]), rgb(*fields[i]));
        selectedTarget = ColorTarget(i);
        EXPECT_EQ(rgb(previewFrameColor()), i == kTargetIpv6Frame ? "51 52 53" : "41 42 43");
    }
    EXPECT_EQ(colorTargetOfButton(1002) + colorTargetOfButton(1014), -2);

    // bar, start value, request, thumb position, value after
    const int scrolls[][5] = {
        {1005, 10, kScrollLineLeft, 0, 9},
        {1005, 10, kScrollLineRight, 0, 11},
        {1006, 10, kScrollPageLeft, 0, 0},
        {1007, 250, kScrollPageRight, 0, 255},
        {1007, 100, kScrollPageRight, 0, 116},
        {1005, 100, kScrollThumbTrack, 37, 37},
        {1005, 100, kScrollThumbPosition, 0, 0},
        {1006, 100, kScrollThumbPosition, 300, 255},
        {1007, 100, 8 /* end of scroll */, 40, 100},
        {1021, 10, kScrollPageLeft, 0, 1},
        {1021, 2, kScrollLineLeft, 0, 1},
        {1021, 250, kScrollPageRight, 0, 255},
    };
    for (const auto& s : scrolls) {
        *dialogBarValue(s[0]).value = s[1];
        EXPECT_EQ(scrollDialogBar(s[0], s[2], s[3]), s[4]) << s[0] << " from " << s[1];
        EXPECT_EQ(*dialogBarValue(s[0]).value, s[4]) << s[0] << " from " << s[1];
    }
    EXPECT_EQ(scrollDialogBar(1019, kScrollLineRight, 0), -1); // the size box is no bar

    // A bar edits its component of the selected colour; OK copies them all.
    startSettingsDialog();
    scrollDialogBar(1005, kScrollThumbTrack, 5); // the background
    selectedTarget = kTargetIpv6Frame;
    for (int i = 0; i < 3; ++i) scrollDialogBar(1005 + i, kScrollThumbTrack, 100 + i);
    scrollDialogBar(1021, kScrollThumbTrack, 64);
    chooseDialogFontFace("Kestrava Test Face With A Very Long Name"); // 31 bytes are kept
    EXPECT_EQ(rgb(settings.backgroundColor) + "/" + rgb(settings.ipv6FrameColor), "1 2 3/51 52 53");
    acceptSettingsDialog({true, false, true, false, false, 30});
    std::string colors;
    for (ColorSetting* field : fields) colors += rgb(*field) + "/";
    EXPECT_EQ(colors, "5 2 3/11 12 13/21 22 23/31 32 33/41 42 43/100 101 102/");
    EXPECT_EQ(settings.opacity, 64);
    EXPECT_STREQ(settings.fontFace, "Kestrava Test Face With A Very ");
    // weight, size, alwaysOnTop, ignoreDotlessNames, twoLineProcessNames, hideErrorRates
    auto chosen = [] {
        const Settings& s = settings;
        return std::to_string(s.fontWeight) + " " + std::to_string(s.fontSize) + " " +
               std::to_string(s.alwaysOnTop) + std::to_string(s.ignoreDotlessNames) +
               std::to_string(s.twoLineProcessNames) + std::to_string(s.hideErrorRates);
    };
    EXPECT_EQ(chosen(), "700 30 0100");
    const int32_t sizes[][2] = {{3, 6},     {0, 6},     {-40, 6},         {6, 6},
                                {256, 256}, {300, 256}, {2147483647, 256}};
    for (const auto& s : sizes) {
        acceptSettingsDialog({false, true, false, true, true, s[0]});
        EXPECT_EQ(settings.fontSize, s[1]) << s[0];
    }
    EXPECT_EQ(chosen(), "400 256 1011");
}

} // namespace
