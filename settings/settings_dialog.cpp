#include "settings/settings_dialog.h"

#include <algorithm>
#include <cstdio>

#include "resources/resource.h"

ColorSetting dialogColors[kColorTargetCount];
ColorTarget selectedTarget;
int32_t dialogOpacity;
char dialogFontFace[kFontFaceSize];

const ColorBar kColorBars[3] = {
    {IDC_COLOR_RED, IDC_RED_TEXT, "R %d", &ColorSetting::red},
    {IDC_COLOR_GREEN, IDC_GREEN_TEXT, "G %d", &ColorSetting::green},
    {IDC_COLOR_BLUE, IDC_BLUE_TEXT, "B %d", &ColorSetting::blue},
};

namespace {

constexpr int32_t kLineStep = 1;
constexpr int32_t kPageStep = 16;

// The radio buttons in ColorTarget order (the IPv4 frame's id comes before
// the ICMP one's).
constexpr int kTargetButtons[kColorTargetCount] = {
    IDC_PICK_BACKGROUND, IDC_PICK_DNS,        IDC_PICK_TCP,
    IDC_PICK_ICMP,       IDC_PICK_IPV4_FRAME, IDC_PICK_IPV6_FRAME,
};

ColorSetting Settings::*const kTargetFields[kColorTargetCount] = {
    &Settings::backgroundColor, &Settings::dnsColor,       &Settings::tcpColor,
    &Settings::icmpColor,       &Settings::ipv4FrameColor, &Settings::ipv6FrameColor,
};

} // namespace

void startSettingsDialog() {
    selectedTarget = kTargetBackground;
    dialogOpacity = settings.opacity;
    std::snprintf(dialogFontFace, sizeof dialogFontFace, "%s", settings.fontFace);
    for (int t = 0; t < kColorTargetCount; ++t)
        dialogColors[t] = settingsColor(static_cast<ColorTarget>(t));
}

ColorSetting& settingsColor(ColorTarget target) {
    return settings.*kTargetFields[target];
}

int colorTargetOfButton(int controlId) {
    for (int t = 0; t < kColorTargetCount; ++t)
        if (kTargetButtons[t] == controlId) return t;
    return -1;
}

BarValue dialogBarValue(int barId) {
    if (barId == IDC_OPACITY) return {&dialogOpacity, kMinOpacity, kMaxOpacity};
    for (const ColorBar& bar : kColorBars)
        if (bar.barId == barId) return {&(dialogColors[selectedTarget].*bar.component), 0, 255};
    return {nullptr, 0, 0};
}

int32_t scrollDialogBar(int barId, int request, int thumbPosition) {
    const BarValue bar = dialogBarValue(barId);
    if (!bar.value) return -1;
    int32_t value = *bar.value;
    switch (request) {
    case kScrollLineLeft:
        value -= kLineStep;
        break;
    case kScrollLineRight:
        value += kLineStep;
        break;
    case kScrollPageLeft:
        value -= kPageStep;
        break;
    case kScrollPageRight:
        value += kPageStep;
        break;
    case kScrollThumbPosition:
    case kScrollThumbTrack:
        // A bar reports thumb positions within its range; the clamp below
        // keeps a forged one out as well.
        value = thumbPosition;
        break;
    default:
        return value; // the end of a scroll, and the requests a horizontal bar never sends
    }
    *bar.value = std::clamp(value, bar.low, bar.high);
    return *bar.value;
}

void chooseDialogFontFace(const char* face) {
    std::snprintf(dialogFontFace, sizeof dialogFontFace, "%s", face);
}

void acceptSettingsDialog(const DialogChoices& choices) {
    for (int t = 0; t < kColorTargetCount; ++t)
        settingsColor(static_cast<ColorTarget>(t)) = dialogColors[t];
    settings.opacity = dialogOpacity;
    settings.alwaysOnTop = choices.alwaysOnTop ? 1 : 0;
    settings.ignoreDotlessNames = choices.ignoreDotlessNames ? 1 : 0;
    settings.twoLineProcessNames = choices.twoLineProcessNames ? 1 : 0;
    settings.hideErrorRates = choices.hideErrorRates ? 1 : 0;
    std::snprintf(settings.fontFace, sizeof settings.fontFace, "%s", dialogFontFace);
    settings.fontWeight = choices.bold ? kBoldWeight : kNormalWeight;
    settings.fontSize = std::clamp(choices.fontSize, kMinFontSize, kMaxFontSize);
}

const ColorSetting& previewFrameColor() {
    return dialogColors[selectedTarget == kTargetIpv6Frame ? kTargetIpv6Frame : kTargetIpv4Frame];
}
