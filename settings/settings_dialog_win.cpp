// The settings dialog (dialog 112): fills the controls from the settings,
// follows the colour targets and bars, paints the preview and, on OK, puts the
// new values into effect. The decisions are in settings/settings_dialog.h.
#include "settings/settings_dialog_win.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "analysis/traffic_tables.h"
#include "app/app_win.h"
#include "resources/resource.h"
#include "settings/settings_dialog.h"

static_assert(SB_LINELEFT == kScrollLineLeft && SB_LINERIGHT == kScrollLineRight &&
                  SB_PAGELEFT == kScrollPageLeft && SB_PAGERIGHT == kScrollPageRight &&
                  SB_THUMBPOSITION == kScrollThumbPosition && SB_THUMBTRACK == kScrollThumbTrack,
              "scroll requests carry the system's values");

namespace {

SCROLLINFO colorScrollInfo; // reused for every bar update
LOGFONTA fontEnumFilter;    // every face with the Shift_JIS character set
const RECT previewRect = {320, 210, 400, 260};

constexpr int kUpDownStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | UDS_ALIGNRIGHT | UDS_SETBUDDYINT;

void setBar(HWND dialog, int barId, UINT mask, int low, int high, int position) {
    colorScrollInfo.cbSize = sizeof colorScrollInfo;
    colorScrollInfo.fMask = mask;
    colorScrollInfo.nMin = low;
    colorScrollInfo.nMax = high;
    colorScrollInfo.nPos = position;
    SetScrollInfo(GetDlgItem(dialog, barId), SB_CTL, &colorScrollInfo, TRUE);
}

void setBarPosition(HWND dialog, int barId, int position) {
    setBar(dialog, barId, SIF_POS, 0, 0, position);
}

void showComponent(HWND dialog, const ColorBar& bar, int value) {
    char text[16];
    std::snprintf(text, sizeof text, bar.format, value);
    SetDlgItemTextA(dialog, bar.textId, text);
}

// The selected colour in the three boxes and on the three bars.
void showSelectedColor(HWND dialog) {
    const ColorSetting& color = dialogColors[selectedTarget];
    for (const ColorBar& bar : kColorBars) {
        showComponent(dialog, bar, color.*bar.component);
        setBarPosition(dialog, bar.barId, color.*bar.component);
    }
}

void invalidatePreview(HWND dialog) {
    InvalidateRect(dialog, &previewRect, FALSE);
}

int CALLBACK fontFamilyEnumProc(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM list) {
    // "@" faces are the vertical-writing variants of the others
    if (font->lfFaceName[0] != '@')
        SendMessageA(reinterpret_cast<HWND>(list), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(font->lfFaceName));
    return 1;
}

// The text of list entry `index`; false when there is none that fits.
bool listEntry(HWND list, LRESULT index, char (&entry)[256]) {
    const LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, index, 0);
    if (length < 0 || length >= LRESULT(sizeof entry)) return false;
    SendMessageA(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(entry));
    return true;
}

// Shows the first entry whose text is the face exactly (CB_FINDSTRINGEXACT
// ignores case), or entry 0 when there is none.
void selectFace(HWND list, const char* face) {
    SendMessageA(list, CB_SETCURSEL, 0, 0);
    const int count = static_cast<int>(SendMessageA(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char entry[256];
        if (listEntry(list, i, entry) && std::strcmp(entry, face) == 0) {
            SendMessageA(list, CB_SETCURSEL, i, 0);
            return;
        }
    }
}

void checkIf(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void onInitDialog(HWND dialog) {
    startSettingsDialog();
    fontEnumFilter = LOGFONTA{};
    fontEnumFilter.lfCharSet = SHIFTJIS_CHARSET;
    HDC dc = GetDC(dialog);

    // Right alignment puts the arrows beside the size box, whatever the
    // position and size given here.
    CreateUpDownControl(kUpDownStyle, 10, 10, 50, 50, dialog, IDC_FONT_SIZE_SPIN, appInstance,
                        GetDlgItem(dialog, IDC_FONT_SIZE), kMaxFontSize, kMinFontSize,
                        settings.fontSize);

    checkIf(dialog, IDC_BOLD, settings.fontWeight == kBoldWeight);
    checkIf(dialog, IDC_ALWAYS_ON_TOP, settings.alwaysOnTop != 0);
    checkIf(dialog, IDC_IGNORE_DOTLESS, settings.ignoreDotlessNames != 0);
    checkIf(dialog, IDC_TWO_LINE, settings.twoLineProcessNames != 0);
    checkIf(dialog, IDC_HIDE_RATES, settings.hideErrorRates != 0);
    CheckRadioButton(dialog, IDC_PICK_BACKGROUND, IDC_PICK_IPV6_FRAME, IDC_PICK_BACKGROUND);

    for (int barId : {IDC_COLOR_RED, IDC_COLOR_GREEN, IDC_COLOR_BLUE, IDC_OPACITY}) {
        const BarValue bar = dialogBarValue(barId);
        setBar(dialog, barId, SIF_RANGE, bar.low, bar.high, 0);
    }
    showSelectedColor(dialog);
    setBarPosition(dialog, IDC_OPACITY, dialogOpacity);

    HWND list = GetDlgItem(dialog, IDC_FONT_FACE);
    EnumFontFamiliesExA(dc, &fontEnumFilter, fontFamilyEnumProc, reinterpret_cast<LPARAM>(list), 0);
    ReleaseDC(dialog, dc);
    selectFace(list, settings.fontFace);
}

void onFontPicked(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_FONT_FACE);
    const LRESULT index = SendMessageA(list, CB_GETCURSEL, 0, 0);
    char face[256];
    if (index != CB_ERR && listEntry(list, index, face)) chooseDialogFontFace(face);
}

// OK: the settings take the dialog's values, and the font, pens and brushes of
// the overlay are made from them at once; the caller saves and lays out.
void onOk(HWND dialog) {
    DialogChoices choices;
    choices.bold = isChecked(dialog, IDC_BOLD);
    choices.alwaysOnTop = isChecked(dialog, IDC_ALWAYS_ON_TOP);
    choices.ignoreDotlessNames = isChecked(dialog, IDC_IGNORE_DOTLESS);
    choices.twoLineProcessNames = isChecked(dialog, IDC_TWO_LINE);
    choices.hideErrorRates = isChecked(dialog, IDC_HIDE_RATES);
    // a text that is no number reads as 0
    choices.fontSize = static_cast<int32_t>(GetDlgItemInt(dialog, IDC_FONT_SIZE, nullptr, TRUE));
    acceptSettingsDialog(choices);

    rebuildMainFont();
    createPensAndBrushes();
    selectFramePen(FramePen::Keep);
    publishTwoLineProcessNames(settings.twoLineProcessNames);
    EndDialog(dialog, 0);
}

void onCommand(HWND dialog, int id, int code) {
    if (id == IDOK) {
        onOk(dialog);
    } else if (id == IDCANCEL) {
        EndDialog(dialog, 0); // nothing is copied
    } else if (id == IDC_FONT_FACE) {
        if (code == CBN_SELCHANGE) onFontPicked(dialog);
    } else if (code == BN_CLICKED) {
        const int target = colorTargetOfButton(id);
        if (target < 0) return;
        selectedTarget = static_cast<ColorTarget>(target);
        showSelectedColor(dialog);
        // The preview's frame is the IPv6 one only while that is edited, so
        // any change of target may change it.
        invalidatePreview(dialog);
    }
}

void onScroll(HWND dialog, HWND bar, int request, int thumbPosition) {
    const int barId = GetDlgCtrlID(bar);
    const int32_t value = scrollDialogBar(barId, request, thumbPosition);
    if (value < 0) return;
    setBarPosition(dialog, barId, value);
    for (const ColorBar& colorBar : kColorBars)
        if (colorBar.barId == barId) showComponent(dialog, colorBar, value);
    invalidatePreview(dialog);
}

// The preview: the background with the frame, and the three labels in their
// colours, drawn with a brush and a pen made for this paint only.
void onPaint(HWND dialog) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    HBRUSH brush = CreateSolidBrush(colorValue(dialogColors[kTargetBackground]));
    HPEN pen = CreatePen(PS_SOLID, 1, colorValue(previewFrameColor()));
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldFont = SelectObject(dc, dialogFont);
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_LEFT | TA_TOP);

    Rectangle(dc, previewRect.left, previewRect.top, previewRect.right, previewRect.bottom);
    const struct {
        const char* text;
        int y;
        ColorTarget color;
    } labels[] = {{"DNS", 214, kTargetDns}, {"TCP", 230, kTargetTcp}, {"ICMP", 246, kTargetIcmp}};
    for (const auto& label : labels) {
        SetTextColor(dc, colorValue(dialogColors[label.color]));
        TextOutA(dc, 330, label.y, label.text, static_cast<int>(std::strlen(label.text)));
    }

    // put the dialog's own objects back, so that the temporary ones can go
    SelectObject(dc, oldFont);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    EndPaint(dialog, &paint);
    DeleteObject(brush);
    DeleteObject(pen);
}

} // namespace

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        onCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_HSCROLL:
        onScroll(dialog, reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_PAINT:
        onPaint(dialog);
        return TRUE;
    }
    return FALSE;
}
