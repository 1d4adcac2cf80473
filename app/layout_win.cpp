// The window's size, place, visible region, opacity and z-order.
#include <cstring>

#include "app/app_win.h"
#include "app/overlay_model.h"
#include "settings/settings.h"

namespace {

int measure(const char* text) {
    return composeTextWidth(text, static_cast<int>(std::strlen(text)));
}

} // namespace

void applyWindowLayout(HWND window) {
    SelectObject(composeSurface, mainFont);

    LayoutMetrics metrics{};
    metrics.frameX = GetSystemMetrics(SM_CXFIXEDFRAME);
    metrics.frameY = GetSystemMetrics(SM_CYFIXEDFRAME);
    metrics.monitorCount = GetSystemMetrics(SM_CMONITORS);
    metrics.virtualLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
    metrics.virtualTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
    metrics.widestAddressWidth = measure(kWidestAddressSample);
    metrics.dnsSampleWidth = measure(kDnsSample);
    metrics.dnsTcpSampleWidth = measure(kDnsTcpSample);
    const WindowLayout layout = computeWindowLayout(metrics);
    windowLayout = layout;

    if (setLayeredWindowAttributesFn)
        setLayeredWindowAttributesFn(window, 0, static_cast<BYTE>(settings.opacity & 0xFF),
                                     LWA_ALPHA);

    // The region cuts the dialog frame away; the system owns it from here on.
    HRGN region =
        CreateRectRgn(layout.regionLeft, layout.regionTop, layout.regionRight, layout.regionBottom);
    SetWindowRgn(window, region, TRUE);

    SetForegroundWindow(window);
    SetWindowPos(window, settings.alwaysOnTop == 1 ? HWND_TOPMOST : HWND_NOTOPMOST, layout.outerX,
                 layout.outerY, layout.windowWidth, layout.outerHeight, 0);

    // the system may have moved the window
    RECT rect;
    GetWindowRect(window, &rect);
    settings.windowX = rect.left + metrics.frameX;
    settings.windowY = rect.top + metrics.frameY;
}
