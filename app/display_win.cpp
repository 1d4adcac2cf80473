// The drawing resources of the overlay and the window's start-up (WM_CREATE).
#include "analysis/traffic_tables.h"
#include "app/app_win.h"
#include "app/overlay_model.h"
#include "capture/capture_library.h"
#include "capture/capture_session.h"
#include "settings/settings.h"

HDC composeSurface;
HDC dnsBarSurface, tcpBarSurface, icmpBarSurface;
HFONT mainFont;
HFONT dialogFont;
HPEN ipv4FramePen, ipv6FramePen;
HBRUSH backgroundBrush, dnsBarBrush, tcpBarBrush, icmpBarBrush;

namespace {

constexpr int kSurfaceCount = 4;
HDC* const surfaces[kSurfaceCount] = {&composeSurface, &dnsBarSurface, &tcpBarSurface,
                                      &icmpBarSurface};
HBITMAP surfaceBitmaps[kSurfaceCount];

constexpr BYTE kFixedModernPitch = FIXED_PITCH | FF_MODERN; // 49

HFONT createTextFont(int height, int weight, const char* face) {
    return CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, 0, 0, 0,
                       kFixedModernPitch, face);
}

HFONT createMainFont() {
    return createTextFont(settings.fontSize, settings.fontWeight, settings.fontFace);
}

template <class Object> void deleteObject(Object& object) {
    if (object) DeleteObject(object);
    object = nullptr;
}

void takeScreenSize() {
    if (GetSystemMetrics(SM_CMONITORS) > 1) {
        screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
        screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    } else {
        screenWidth = GetSystemMetrics(SM_CXSCREEN);
        screenHeight = GetSystemMetrics(SM_CYSCREEN);
    }
}

void deletePensAndBrushes() {
    deleteObject(ipv4FramePen);
    deleteObject(ipv6FramePen);
    deleteObject(backgroundBrush);
    deleteObject(dnsBarBrush);
    deleteObject(tcpBarBrush);
    deleteObject(icmpBarBrush);
}

} // namespace

void createPensAndBrushes() {
    // A pen or brush still selected into a surface cannot be deleted: park the
    // stock objects there first. The caller selects the new ones.
    for (HDC* surface : surfaces) {
        if (!*surface) continue;
        SelectObject(*surface, GetStockObject(BLACK_PEN));
        SelectObject(*surface, GetStockObject(WHITE_BRUSH));
    }
    deletePensAndBrushes();
    ipv4FramePen = CreatePen(PS_SOLID, 1, colorValue(settings.ipv4FrameColor));
    ipv6FramePen = CreatePen(PS_SOLID, 1, colorValue(settings.ipv6FrameColor));
    backgroundBrush = CreateSolidBrush(colorValue(settings.backgroundColor));
    dnsBarBrush = CreateSolidBrush(colorValue(settings.dnsColor));
    tcpBarBrush = CreateSolidBrush(colorValue(settings.tcpColor));
    icmpBarBrush = CreateSolidBrush(colorValue(settings.icmpColor));
}

void rebuildMainFont() {
    // A font still selected into a device context cannot be deleted: the
    // dialog font stands in on every surface until the next paint selects the
    // new one into the bar surfaces.
    for (HDC* surface : surfaces) SelectObject(*surface, dialogFont);
    deleteObject(mainFont);
    mainFont = createMainFont();
    SelectObject(composeSurface, mainFont);
}

LRESULT initDisplay(HWND window) {
    resetOverlayState(); // statusMessage, tickCount, uiBusy, burst and drain flags, rates
    takeScreenSize();
    // nothing captured yet: every table, the event ring and the owner tables
    // empty; the settings ("undefined" as the network until setting.ini says
    // otherwise) and the safe list read
    startAnalysis(window);

    HDC screen = GetDC(window);
    SetMapMode(screen, MM_TEXT);
    for (int i = 0; i < kSurfaceCount; ++i) {
        *surfaces[i] = CreateCompatibleDC(screen);
        surfaceBitmaps[i] = CreateCompatibleBitmap(screen, screenWidth, screenHeight);
        SelectObject(*surfaces[i], surfaceBitmaps[i]);
    }

    addTrayIcon(window);

    mainFont = createMainFont();
    dialogFont = createTextFont(12, FW_NORMAL, "ＭＳ Ｐゴシック");

    // a new device context paints with its own (white) brush
    for (HDC* surface : surfaces) PatBlt(*surface, 0, 0, screenWidth, screenHeight, PATCOPY);
    ReleaseDC(window, screen);

    for (HDC* surface : surfaces) {
        SetBkMode(*surface, TRANSPARENT);
        SetTextAlign(*surface, TA_LEFT | TA_TOP);
    }

    createPensAndBrushes();
    selectFramePen(FramePen::Ipv4);

    applyWindowLayout(window);
    invalidateOverlay(window);

    captureLibraryLoaded = false;
    interfaceFound = false;
    localAddressesLoaded = false;
    captureLibraryLoaded = loadCaptureLibrary();
    // may ask the user to choose a network before the window is shown
    if (captureLibraryLoaded) openCaptureSession(window);
    return 0;
}

void deleteDisplayResources() {
    for (int i = 0; i < kSurfaceCount; ++i) {
        if (*surfaces[i]) DeleteDC(*surfaces[i]);
        *surfaces[i] = nullptr;
        deleteObject(surfaceBitmaps[i]);
    }
    deleteObject(mainFont);
    deleteObject(dialogFont);
    deletePensAndBrushes();
}
