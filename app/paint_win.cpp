// WM_PAINT: composes the picture that takeOverlayFrame chose on the off-screen
// surfaces and copies the paint rectangle (and, in rate mode, the bars) onto
// the window.
#include <cstring>

#include "app/app_win.h"
#include "app/overlay_model.h"
#include "settings/settings.h"

namespace {

void drawText(HDC surface, int x, int y, const char* text) {
    TextOutA(surface, x, y, text, static_cast<int>(std::strlen(text)));
}

// A row of the event modes (and the host row in rate mode): centred, or
// right-aligned with its start cut off when it is wider than the window.
void drawRow(const char* text, int y, uint32_t color, int visibleWidth) {
    int length = static_cast<int>(std::strlen(text));
    int x = rowTextX(composeTextWidth(text, length), visibleWidth);
    SetTextColor(composeSurface, color);
    TextOutA(composeSurface, x, y, text, length);
}

// Each bar surface holds a rectangle in the bar colour with the label written
// on it in the background colour: the slice copied onto the window shows the
// part of the label under the bar inverted.
void prepareBarSurface(HDC surface, HBRUSH brush, int visibleWidth, int height) {
    SelectObject(surface, mainFont);
    SetTextColor(surface, colorValue(settings.backgroundColor));
    SelectObject(surface, brush);
    Rectangle(surface, 0, 0, visibleWidth, height);
}

void drawRates(const RateTexts& texts, int frameX) {
    const int fontSize = settings.fontSize;
    const int twoLine = settings.twoLineProcessNames;
    const int y = twoLine * fontSize + 3;
    const int tcpX = windowLayout.tcpColumnX - 2 * frameX;
    const int icmpX = windowLayout.icmpColumnX - 2 * frameX;

    SetTextColor(composeSurface, colorValue(settings.dnsColor));
    drawText(composeSurface, 5, y, texts.dns);
    drawText(dnsBarSurface, 5, 3, texts.dns);
    SetTextColor(composeSurface, colorValue(settings.tcpColor));
    drawText(composeSurface, tcpX, y, texts.tcp);
    drawText(tcpBarSurface, tcpX, 3, texts.tcp);
    SetTextColor(composeSurface, colorValue(settings.icmpColor));
    drawText(composeSurface, icmpX, y, texts.icmp);
    drawText(icmpBarSurface, icmpX, 3, texts.icmp);
}

void copyBar(HDC window, HDC surface, const BarSlice& bar) {
    if (bar.width <= 0) return;
    BitBlt(window, bar.x, bar.y, bar.width, bar.height, surface, bar.sourceX, bar.sourceY, SRCCOPY);
}

FramePen framePenInUse = FramePen::Ipv4;

} // namespace

void selectFramePen(FramePen pen) {
    if (pen == FramePen::Keep) pen = framePenInUse;
    framePenInUse = pen;
    HPEN chosen = pen == FramePen::Ipv4 ? ipv4FramePen : ipv6FramePen;
    for (HDC surface : {composeSurface, dnsBarSurface, tcpBarSurface, icmpBarSurface})
        SelectObject(surface, chosen);
    SelectObject(composeSurface, backgroundBrush);
}

int composeTextWidth(const char* text, int length) {
    SIZE size{};
    GetTextExtentPoint32A(composeSurface, text, length, &size);
    return size.cx;
}

LRESULT paintOverlay(HWND window) {
    const int frameX = GetSystemMetrics(SM_CXFIXEDFRAME);
    const int frameY = GetSystemMetrics(SM_CYFIXEDFRAME);
    const int fontSize = settings.fontSize;
    const int twoLine = settings.twoLineProcessNames;
    const int visibleWidth = windowLayout.windowWidth - 2 * frameX;

    // a dragged window's place reaches the settings here
    RECT rect;
    GetWindowRect(window, &rect);
    settings.windowX = rect.left + frameX;
    settings.windowY = rect.top + frameY;

    PAINTSTRUCT paint;
    HDC target = BeginPaint(window, &paint);

    static OverlayFrame frame; // its rows are 4 KiB of text
    takeOverlayFrame(&frame);
    if (frame.pen != FramePen::Keep) selectFramePen(frame.pen);

    Rectangle(composeSurface, 0, 0, visibleWidth, (twoLine + 1) * fontSize + 2 * (5 - frameY));
    SelectObject(composeSurface, mainFont);
    SetTextColor(composeSurface, colorValue(settings.dnsColor));
    const int barHeight = fontSize + 2 * (5 - frameY);
    prepareBarSurface(dnsBarSurface, dnsBarBrush, visibleWidth, barHeight);
    prepareBarSurface(tcpBarSurface, tcpBarBrush, visibleWidth, barHeight);
    prepareBarSurface(icmpBarSurface, icmpBarBrush, visibleWidth, barHeight);

    switch (frame.mode) {
    case OverlayMode::Status:
        drawText(composeSurface, 5, 3, statusMessage);
        break;
    case OverlayMode::Event:
    case OverlayMode::NoAccess:
        drawRow(frame.rowOne, 3, frame.rowOneColor, visibleWidth);
        if (twoLine == 1) drawRow(frame.rowTwo, fontSize + 3, frame.rowTwoColor, visibleWidth);
        break;
    case OverlayMode::Rates:
        drawRates(frame.rateTexts, frameX);
        if (twoLine == 1) drawRow(lastShownHost, 3, frame.rowOneColor, visibleWidth);
        break;
    }

    const RECT& area = paint.rcPaint;
    BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top,
           composeSurface, area.left, area.top, SRCCOPY);
    if (frame.mode == OverlayMode::Rates) {
        BarSlices bars = computeBarSlices(area.left, area.top, area.bottom, frameX);
        copyBar(target, dnsBarSurface, bars.dns);
        copyBar(target, tcpBarSurface, bars.tcp);
        copyBar(target, icmpBarSurface, bars.icmp);
    }

    EndPaint(window, &paint);
    return 0;
}
