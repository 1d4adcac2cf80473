// The settings dialog's working state: what the opening copies, which colour
// each radio button and bar edits, the bar arithmetic with its clamping and
// what OK copies back.
#include <gtest/gtest.h>

#include <string>

#include "settings/settings_dialog.h"

namespace {

bool sameColor(const ColorSetting& a, const ColorSetting& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

class SettingsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        screenWidth = 1920;
        screenHeight = 1080;
        applyDefaultSettings();
        // six colours that tell the fields apart
        settings.backgroundColor = {1, 2, 3};
        settings.dnsColor = {11, 12, 13};
        settings.tcpColor = {21, 22, 23};
        settings.icmpColor = {31, 32, 33};
        settings.ipv4FrameColor = {41, 42, 43};
        settings.ipv6FrameColor = {51, 52, 53};
        settings.opacity = 200;
        startSettingsDialog();
    }
};

TEST_F(SettingsDialogTest, OpeningCopiesTheSettingsAndEditsTheBackground) {
    EXPECT_EQ(selectedTarget, kTargetBackground);
    EXPECT_EQ(dialogOpacity, 200);
    EXPECT_STREQ(dialogFontFace, "ＭＳ Ｐゴシック");
    // Radio buttons 1008 to 1013 in the order of their targets; the colour
    // each target stands for, as the opening copied it.
    const struct {
        int button;
        ColorTarget target;
        ColorSetting color;
    } cases[] = {
        {1008, kTargetBackground, {1, 2, 3}},   {1009, kTargetDns, {11, 12, 13}},
        {1010, kTargetTcp, {21, 22, 23}},       {1012, kTargetIcmp, {31, 32, 33}},
        {1011, kTargetIpv4Frame, {41, 42, 43}}, {1013, kTargetIpv6Frame, {51, 52, 53}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(colorTargetOfButton(c.button), c.target) << c.button;
        EXPECT_TRUE(sameColor(dialogColors[c.target], c.color)) << c.target;
    }
    EXPECT_EQ(colorTargetOfButton(1002), -1);
    EXPECT_EQ(colorTargetOfButton(1), -1);
}

TEST_F(SettingsDialogTest, BarsMoveTheirValueWithinItsRange) {
    // bar, target, start value, request, thumb, value after
    const struct {
        int bar;
        ColorTarget target;
        int32_t start;
        int request, thumb;
        int32_t expected;
    } cases[] = {
        {1005, kTargetBackground, 10, kScrollLineLeft, 0, 9},
        {1005, kTargetBackground, 10, kScrollLineRight, 0, 11},
        {1006, kTargetDns, 10, kScrollPageLeft, 0, 0}, // stops at 0, not -6
        {1007, kTargetTcp, 250, kScrollPageRight, 0, 255},
        {1007, kTargetTcp, 100, kScrollPageRight, 0, 116},
        {1005, kTargetIpv6Frame, 100, kScrollThumbTrack, 37, 37},
        {1005, kTargetIpv6Frame, 100, kScrollThumbPosition, 0, 0},
        {1006, kTargetIcmp, 100, kScrollThumbPosition, 300, 255}, // a forged thumb
        {1007, kTargetIpv4Frame, 100, 8 /* end of scroll */, 40, 100},
        {1021, kTargetBackground, 10, kScrollPageLeft, 0, 1}, // opacity: 1 at least
        {1021, kTargetBackground, 2, kScrollLineLeft, 0, 1},
        {1021, kTargetBackground, 1, kScrollThumbTrack, 0, 1},
        {1021, kTargetBackground, 250, kScrollPageRight, 0, 255},
    };
    for (const auto& c : cases) {
        startSettingsDialog();
        selectedTarget = c.target;
        const BarValue bar = dialogBarValue(c.bar);
        ASSERT_NE(bar.value, nullptr) << c.bar;
        *bar.value = c.start;
        const std::string which = std::to_string(c.bar) + " target " + std::to_string(c.target) +
                                  " from " + std::to_string(c.start);
        EXPECT_EQ(scrollDialogBar(c.bar, c.request, c.thumb), c.expected) << which;
        EXPECT_EQ(*bar.value, c.expected) << which;
    }

    // Each colour bar edits its component of the selected colour and nothing else.
    startSettingsDialog();
    selectedTarget = kTargetIcmp;
    scrollDialogBar(1005, kScrollThumbTrack, 100);
    scrollDialogBar(1006, kScrollThumbTrack, 101);
    scrollDialogBar(1007, kScrollThumbTrack, 102);
    EXPECT_TRUE(sameColor(dialogColors[kTargetIcmp], {100, 101, 102}));
    EXPECT_TRUE(sameColor(dialogColors[kTargetTcp], {21, 22, 23}));
    EXPECT_EQ(dialogOpacity, 200);
    EXPECT_EQ(scrollDialogBar(1019, kScrollLineRight, 0), -1); // the size box is no bar
    // Until OK the settings keep their values.
    EXPECT_TRUE(sameColor(settings.icmpColor, {31, 32, 33}));
}

TEST_F(SettingsDialogTest, OkCopiesTheWorkingValuesAndHoldsTheFontSize) {
    scrollDialogBar(1005, kScrollThumbTrack, 5); // the background
    selectedTarget = kTargetDns;
    scrollDialogBar(1005, kScrollThumbTrack, 99);
    selectedTarget = kTargetIpv6Frame;
    scrollDialogBar(1007, kScrollThumbTrack, 7);
    scrollDialogBar(1021, kScrollThumbTrack, 64);
    // a face longer than 31 bytes keeps its first 31
    chooseDialogFontFace("Kestrava Test Face With A Very Long Name");

    acceptSettingsDialog({true, false, true, false, false, 30});
    EXPECT_TRUE(sameColor(settings.backgroundColor, {5, 2, 3}));
    EXPECT_TRUE(sameColor(settings.dnsColor, {99, 12, 13}));
    EXPECT_TRUE(sameColor(settings.ipv4FrameColor, {41, 42, 43}));
    EXPECT_TRUE(sameColor(settings.ipv6FrameColor, {51, 52, 7}));
    EXPECT_EQ(settings.opacity, 64);
    EXPECT_STREQ(settings.fontFace, "Kestrava Test Face With A Very ");
    EXPECT_EQ(settings.fontWeight, 700);
    EXPECT_EQ(settings.fontSize, 30);
    EXPECT_EQ(settings.alwaysOnTop, 0);
    EXPECT_EQ(settings.ignoreDotlessNames, 1);
    EXPECT_EQ(settings.twoLineProcessNames, 0);
    EXPECT_EQ(settings.hideErrorRates, 0);

    const struct {
        int32_t typed, stored;
    } sizes[] = {{3, 6}, {0, 6}, {-40, 6}, {6, 6}, {256, 256}, {300, 256}, {2147483647, 256}};
    for (const auto& s : sizes) {
        acceptSettingsDialog({false, true, false, true, true, s.typed});
        EXPECT_EQ(settings.fontSize, s.stored) << s.typed;
    }
    EXPECT_EQ(settings.fontWeight, 400);
    EXPECT_EQ(settings.alwaysOnTop, 1);
    EXPECT_EQ(settings.ignoreDotlessNames, 0);
    EXPECT_EQ(settings.twoLineProcessNames, 1);
    EXPECT_EQ(settings.hideErrorRates, 1);
}

} // namespace
