// The overlay's decisions, apart from drawing: what the window shows on a paint
// (a status text, the next recent event, "No access." or the three rates), how
// the recent-event ring is consumed, what the 200 ms timer does on each tick,
// and the arithmetic of the window's size, place and bars. The Win32 half
// (app/*_win.cpp) measures texts, draws and calls the system; everything it
// decides comes from here, so it is tested natively.
//
// User-interface thread only. The ring and its counters are shared with the
// capture thread and read here under trafficMutex.
#pragma once

#include <cstdint>

#include "analysis/traffic_tables.h"
#include "app/rates.h"
#include "settings/settings.h"

// ---- State of the overlay (user-interface thread) -----------------------------

constexpr int kStatusMessageSize = 4096;

extern int32_t tickCount;    // timer ticks since the last refresh
extern bool burstMode;       // more than 10 events waited and the queue has not drained
extern bool eventsDrained;   // the painter took the last pending event
extern bool relayoutPending; // the one-shot re-layout of the first refresh is due
extern int32_t uiBusy;       // 1 while a dialog, a command or a re-layout runs
extern bool captureLibraryLoaded;
extern bool interfaceFound;
extern char statusMessage[kStatusMessageSize]; // shown instead of everything else
extern uint8_t lastShownKind;                  // kind of the event shown last
extern Rates overlayRates;                     // the rates of the last rate paint

// The start values of everything above (initDisplay): rates 0, statusMessage
// empty, relayoutPending true.
void resetOverlayState();

// ---- Start-up ------------------------------------------------------------------

// Where there is no screen (the replay tool, the terminal view) the defaults
// assume one of this size.
constexpr int32_t kScreenlessWidth = 1920;
constexpr int32_t kScreenlessHeight = 1080;

// The start of every front end, once screenWidth and screenHeight are known:
// the settings' defaults, empty traffic and owner tables, then setting.ini and
// safelist.txt read (messages owned by `owner`), and the capture thread told
// the setting it reads.
void startAnalysis(WindowHandle owner);

// ---- Colours -------------------------------------------------------------------

// A colour as the system draws it: red in the low byte, then green, then blue,
// each the low 8 bits of its component (a GDI COLORREF).
uint32_t colorValue(const ColorSetting& color);

// Colour of the host row for an event kind: TCP events in tcpColor, UDP events
// in dnsColor, anything else (0 in a slot never written) in icmpColor.
const ColorSetting& hostRowColor(uint8_t kind);
// Colour of the process row and of the frame: IPv4 kinds (100 or less) in
// ipv4FrameColor, IPv6 kinds in ipv6FrameColor.
const ColorSetting& ipVersionColor(uint8_t kind);

// ---- One paint -----------------------------------------------------------------

enum class OverlayMode { Status, Event, NoAccess, Rates };
enum class FramePen { Keep, Ipv4, Ipv6 }; // Keep: the colour of the last event shown

constexpr int kRowTwoSize = 4096;

// What one paint shows. Produced by takeOverlayFrame, which also does the
// paint's side effects on the shared state (taking an event, new rates).
struct OverlayFrame {
    OverlayMode mode;
    FramePen pen;             // chosen from the slot at the read index
    char rowOne[kNameSize];   // event and "No access." modes: the host text
    char rowTwo[kRowTwoSize]; // event mode: the process, "---" when not found
    uint32_t rowOneColor;     // the host row (rate mode: lastShownHost)
    uint32_t rowTwoColor;     // the process row
    RateTexts rateTexts;      // rate mode only
};

// Chooses the mode and fills `frame` (which may be large: keep it static).
// Event mode takes the event as the paint does: lastShownHost and lastShownKind
// become its host and kind, and, unless it is the last pending event while
// hideErrorRates is on, the read index advances and pendingEventCount drops by
// one (eventsDrained set when it reaches 0). Rate mode recomputes overlayRates.
void takeOverlayFrame(OverlayFrame* frame);

// x of a row text `textWidth` pixels wide in a visible area `visibleWidth`
// wide: centred, or right-aligned 2 pixels from the right edge (its start cut
// off) when it does not fit.
int32_t rowTextX(int32_t textWidth, int32_t visibleWidth);

// ---- The 200 ms timer ----------------------------------------------------------

// The system calls of one timer step. Null members are skipped (for a capture
// step: treated as "not yet possible", so it is tried again on the next refresh).
struct TimerActions {
    void (*applyLayout)();         // re-layout of the window
    void (*invalidate)();          // invalidate the whole window without erasing
    void (*refreshOwners)();       // rebuild the connection owner tables
    bool (*loadCaptureLibrary)();  // result goes into captureLibraryLoaded
    bool (*openCaptureSession)();  // sets interfaceFound itself
    bool (*findLocalMacAddress)(); // true: localAddressesLoaded is set
};

// One WM_TIMER: counts the tick; every fourth tick (every tick in burst mode)
// repaints when something changed, refreshes the owner tables when traffic was
// seen, does the one-shot re-layout (topmost windows only) and takes one step
// of the capture start-up that has not yet succeeded.
void runTimerStep(const TimerActions& actions);

// ---- Geometry ------------------------------------------------------------------

// The system values the layout depends on, read afresh for every layout.
struct LayoutMetrics {
    int32_t frameX, frameY;          // SM_CXFIXEDFRAME, SM_CYFIXEDFRAME
    int32_t monitorCount;            // SM_CMONITORS
    int32_t virtualLeft, virtualTop; // SM_XVIRTUALSCREEN, SM_YVIRTUALSCREEN
    int32_t widestAddressWidth;      // width of the widest IPv6 address text
    int32_t dnsSampleWidth;          // width of "DNS 100%00000"
    int32_t dnsTcpSampleWidth;       // width of "DNS 100%00000TCP 100%00000"
};

// The texts whose widths LayoutMetrics carries.
extern const char kWidestAddressSample[];
extern const char kDnsSample[];
extern const char kDnsTcpSample[];

struct WindowLayout {
    int32_t windowWidth;                                      // outer width
    int32_t outerHeight;                                      // (n + 1)·fontSize + 10
    int32_t tcpColumnX, icmpColumnX;                          // column measures of the rate row
    int32_t outerX, outerY;                                   // where the outer window goes
    int32_t regionLeft, regionTop, regionRight, regionBottom; // visible part, window coordinates
};

// The width rule: at least the text width + 20, at most screenWidth + 2·frameX.
int32_t fitWidth(int32_t value, int32_t textWidth, int32_t frameX);

// Sizes and places the window from the settings and the font widths, pulling
// settings.windowX and windowY back onto the (virtual) screen.
WindowLayout computeWindowLayout(const LayoutMetrics& metrics);

extern WindowLayout windowLayout; // the last layout applied

// One bar: a slice of a bar surface copied onto the window.
struct BarSlice {
    int32_t sourceX, sourceY;
    int32_t x, y;
    int32_t width, height; // width 0 or less: nothing is drawn
};
struct BarSlices {
    BarSlice dns, tcp, icmp;
};

// The three bars of a rate paint for the paint rectangle (left, top, bottom),
// from overlayRates, windowLayout and the settings.
BarSlices computeBarSlices(int32_t paintLeft, int32_t paintTop, int32_t paintBottom,
                           int32_t frameX);
