// The settings dialog's decisions, apart from its controls: the working copy
// of the values being edited, which colour the three colour bars edit, the
// scroll and clamping arithmetic of the bars, and what OK copies into the
// settings record. The Win32 half (settings_dialog_win.cpp) reads and writes
// the controls and draws the preview; everything it decides comes from here,
// so it is tested natively.
//
// User-interface thread only; the working state is set up at each opening and
// means nothing once the dialog has ended.
#pragma once

#include <cstdint>

#include "settings/settings.h"

// The colour the three colour bars edit, chosen by the radio buttons.
enum ColorTarget : int32_t {
    kTargetBackground = 0,
    kTargetDns = 1,
    kTargetTcp = 2,
    kTargetIcmp = 3,
    kTargetIpv4Frame = 4,
    kTargetIpv6Frame = 5,
};
constexpr int kColorTargetCount = 6;

// ---- Working state (valid while the dialog is open) ----------------------------

extern ColorSetting dialogColors[kColorTargetCount]; // indexed by ColorTarget
extern ColorTarget selectedTarget;
extern int32_t dialogOpacity;
extern char dialogFontFace[kFontFaceSize];

// The opening: the six colours, the opacity and the face copied from the
// settings; the background is the colour being edited.
void startSettingsDialog();

// The settings field a target stands for.
ColorSetting& settingsColor(ColorTarget target);

// The target of a colour radio button, or -1 for any other control.
int colorTargetOfButton(int controlId);

// A colour bar with the read-only box beside it that shows its value.
struct ColorBar {
    int barId;
    int textId;
    const char* format; // "R %d", "G %d", "B %d"
    int32_t ColorSetting::*component;
};
extern const ColorBar kColorBars[3];

// ---- Scrolling -----------------------------------------------------------------

// The requests of a horizontal scroll bar, with the system's values.
enum ScrollRequest : int {
    kScrollLineLeft = 0,
    kScrollLineRight = 1,
    kScrollPageLeft = 2,
    kScrollPageRight = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
};

// The value a bar of the dialog edits and its range: a component of the
// selected colour (0 to 255) or the opacity (1 to 255). `value` is null for a
// control that is no bar of the dialog.
struct BarValue {
    int32_t* value;
    int32_t low, high;
};
BarValue dialogBarValue(int barId);

// One scroll request on a bar: a line moves the value by 1, a page by 16, the
// thumb sets it; the result stays within the bar's range, other requests keep
// it. Returns the new value, or -1 for a control that is no bar of the dialog.
int32_t scrollDialogBar(int barId, int request, int thumbPosition);

// ---- The font list and OK ------------------------------------------------------

// A face picked in the list (at most 31 bytes are kept).
void chooseDialogFontFace(const char* face);

// The font weights of the bold check box, ticked and not.
constexpr int32_t kBoldWeight = 700;
constexpr int32_t kNormalWeight = 400;

// What the controls say when OK is pressed.
struct DialogChoices {
    bool bold;
    bool alwaysOnTop;
    bool ignoreDotlessNames;
    bool twoLineProcessNames;
    bool hideErrorRates;
    int32_t fontSize; // as read from the size box; 0 when it held no number
};

// OK: the colours, opacity and face of the working state and the choices go
// into the settings record, the font size held to 6 to 256.
void acceptSettingsDialog(const DialogChoices& choices);

// ---- The preview ---------------------------------------------------------------

// Its frame: the IPv6 frame colour while that one is being edited, else the
// IPv4 frame colour.
const ColorSetting& previewFrameColor();
