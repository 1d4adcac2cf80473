#include "app/overlay_model.h"

#include <cstring>

#include "analysis/text.h"
#include "capture/owner_table.h"
#include "settings/safe_list.h"

int32_t tickCount;
bool burstMode;
bool eventsDrained;
bool relayoutPending = true;
int32_t uiBusy;
bool captureLibraryLoaded;
bool interfaceFound;
char statusMessage[kStatusMessageSize];
uint8_t lastShownKind;
Rates overlayRates;

WindowLayout windowLayout;

const char kWidestAddressSample[] = "FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF";
const char kDnsSample[] = "DNS 100%00000";
const char kDnsTcpSample[] = "DNS 100%00000TCP 100%00000";

void resetOverlayState() {
    tickCount = 0;
    burstMode = false;
    eventsDrained = false;
    relayoutPending = true;
    uiBusy = 0;
    captureLibraryLoaded = false;
    interfaceFound = false;
    statusMessage[0] = '\0';
    lastShownKind = 0;
    overlayRates = Rates{};
}

void startAnalysis(WindowHandle owner) {
    applyDefaultSettings();
    resetTrafficTables();
    resetOwnerTables();
    loadSettings(owner);
    useSafeListCount(loadSafeList(owner));
    publishTwoLineProcessNames(settings.twoLineProcessNames);
}

// ---- Colours -------------------------------------------------------------------

uint32_t colorValue(const ColorSetting& color) {
    return (uint32_t(color.red) & 0xFF) | (uint32_t(color.green) & 0xFF) << 8 |
           (uint32_t(color.blue) & 0xFF) << 16;
}

const ColorSetting& hostRowColor(uint8_t kind) {
    if (kind == kEventTcp4 || kind == kEventTcp6) return settings.tcpColor;
    if (kind == kEventUdp4 || kind == kEventUdp6) return settings.dnsColor;
    return settings.icmpColor;
}

static bool isIpv4Kind(uint8_t kind) {
    return kind <= 100;
}

const ColorSetting& ipVersionColor(uint8_t kind) {
    return isIpv4Kind(kind) ? settings.ipv4FrameColor : settings.ipv6FrameColor;
}

// ---- One paint -----------------------------------------------------------------

static const char kNoAccess[] = "No access.";
static const char kNoProcess[] = "---";

void takeOverlayFrame(OverlayFrame* frame) {
    frame->rowOne[0] = '\0';
    frame->rowTwo[0] = '\0';
    const bool status = statusMessage[0] != '\0';

    // The slot at the read index decides the frame colour and the row colours
    // even when it is not taken (an unwritten slot has kind 0: IPv4, icmpColor).
    // Taking an event changes the ring's indices and lastShownHost, which the
    // capture thread reads while it queues, so all of it happens under one lock.
    RecentEvent slot;
    int32_t pending;
    {
        TrafficLock lock(trafficMutex);
        pending = pendingEventCount;
        slot = recentEvents[recentReadIndex];
        if (!status && pending > 0) {
            copyText(lastShownHost, slot.host, kNameSize - 1);
            // With hideErrorRates on, the last event stays on screen until a
            // newer one arrives.
            if (!(pending < 2 && settings.hideErrorRates != 0)) {
                if (++recentReadIndex >= kRecentEventCapacity) recentReadIndex = 0;
                pendingEventCount = pending - 1;
                if (pending == 1) eventsDrained = true;
            }
        }
    }

    frame->pen =
        pending > 0 ? (isIpv4Kind(slot.kind) ? FramePen::Ipv4 : FramePen::Ipv6) : FramePen::Keep;
    frame->rowOneColor = colorValue(hostRowColor(slot.kind));
    frame->rowTwoColor = colorValue(ipVersionColor(slot.kind));

    if (status) {
        frame->mode = OverlayMode::Status;
        frame->rowOneColor = colorValue(settings.dnsColor);
    } else if (pending > 0) {
        frame->mode = OverlayMode::Event;
        copyText(frame->rowOne, slot.host, kNameSize - 1);
        const bool known = std::strcmp(slot.process, kNotFound) != 0;
        copyText(frame->rowTwo, known ? slot.process : kNoProcess, kRowTwoSize - 1);
        lastShownKind = slot.kind;
    } else if (settings.hideErrorRates == 1) {
        frame->mode = OverlayMode::NoAccess;
        copyText(frame->rowOne, kNoAccess, kNameSize - 1);
    } else {
        frame->mode = OverlayMode::Rates;
        overlayRates = computeRates();
        frame->rateTexts = formatRateTexts(overlayRates);
        frame->rowOneColor = colorValue(hostRowColor(lastShownKind));
        frame->rowTwoColor = colorValue(ipVersionColor(lastShownKind));
    }
}

int32_t rowTextX(int32_t textWidth, int32_t visibleWidth) {
    if (textWidth >= visibleWidth) return visibleWidth - 2 - textWidth;
    return (visibleWidth - textWidth) / 2;
}

// ---- The 200 ms timer ----------------------------------------------------------

// At most one step of the capture start-up per refresh, in the order library,
// session, adapter address. A missing action leaves its step for the next refresh.
static void advanceCaptureStartup(const TimerActions& actions) {
    if (!captureLibraryLoaded) {
        if (!actions.loadCaptureLibrary) return;
        captureLibraryLoaded = actions.loadCaptureLibrary();
        if (captureLibraryLoaded && actions.openCaptureSession) actions.openCaptureSession();
    } else if (!interfaceFound) {
        if (actions.openCaptureSession) actions.openCaptureSession();
    } else if (!localAddressesLoaded.load()) {
        if (actions.findLocalMacAddress && actions.findLocalMacAddress())
            localAddressesLoaded.store(true);
    }
}

static void invalidateWindow(const TimerActions& actions) {
    if (actions.invalidate) actions.invalidate();
}

void runTimerStep(const TimerActions& actions) {
    ++tickCount;
    int32_t pending;
    {
        TrafficLock lock(trafficMutex);
        pending = pendingEventCount;
    }
    // Burst mode ends only when the painter took the last event, not when the
    // backlog merely shrinks below 11.
    if (pending > 10)
        burstMode = true;
    else if (eventsDrained)
        burstMode = false;

    // The first layout happens before the window is shown; a topmost window is
    // laid out once more on the first tick, so that it lands in the topmost band.
    const bool relayoutWanted = relayoutPending && settings.alwaysOnTop == 1 && uiBusy == 0;
    if (tickCount < 4 && !burstMode && !relayoutWanted) return;

    const bool ownersWanted = ownerRefreshPending.load() != 0;
    if (relayoutWanted) {
        uiBusy = 1;
        relayoutPending = false;
        if (actions.applyLayout) actions.applyLayout();
        uiBusy = 0;
        invalidateWindow(actions);
    } else if (!ownersWanted && pending <= 0 && !eventsDrained) {
        // Nothing changed: the window keeps its last image.
    } else {
        eventsDrained = false;
        // Without a refresh action the request stays up for the next refresh.
        if (captureLibraryLoaded && interfaceFound && ownersWanted && localAddressesLoaded.load() &&
            actions.refreshOwners) {
            actions.refreshOwners();
            ownerRefreshPending.store(0);
        }
        invalidateWindow(actions);
    }

    advanceCaptureStartup(actions);
    tickCount = 0;
}

// ---- Geometry ------------------------------------------------------------------

int32_t fitWidth(int32_t value, int32_t textWidth, int32_t frameX) {
    if (value < textWidth + 20) value = textWidth + 20;
    if (value > screenWidth + 2 * frameX) value = screenWidth + 2 * frameX;
    return value;
}

// Pulls `position` into [low, high]; the low bound wins when the range is empty.
static int32_t pullInside(int32_t position, int32_t low, int32_t high) {
    if (position < low) return low;
    if (position > high) return high;
    return position;
}

WindowLayout computeWindowLayout(const LayoutMetrics& metrics) {
    const int32_t cx = metrics.frameX, cy = metrics.frameY;
    const int32_t fs = settings.fontSize, n = settings.twoLineProcessNames;
    const bool severalMonitors = metrics.monitorCount > 1;

    WindowLayout layout;
    layout.windowWidth = fitWidth(30, metrics.widestAddressWidth, cx);
    // The columns depend on the font and the screen only, never on the window width.
    layout.tcpColumnX = fitWidth(30, metrics.dnsSampleWidth, cx);
    layout.icmpColumnX = fitWidth(30, metrics.dnsTcpSampleWidth, cx);
    layout.outerHeight = (n + 1) * fs + 10;

    // windowX/windowY are the screen place of the visible area's top-left
    // corner; the frame around it is cut away by the region.
    const int32_t left = severalMonitors ? metrics.virtualLeft : 0;
    const int32_t top = severalMonitors ? metrics.virtualTop : 0;
    settings.windowX =
        pullInside(settings.windowX, left, 2 * cx - layout.windowWidth + screenWidth + left);
    settings.windowY =
        pullInside(settings.windowY, top, 2 * cy - (n + 1) * fs - 9 + screenHeight + top);

    layout.regionLeft = cx;
    layout.regionTop = cy;
    layout.regionRight = layout.windowWidth - cx;
    layout.regionBottom = (n + 1) * fs - cy + 10;
    layout.outerX = settings.windowX - cx;
    layout.outerY = settings.windowY - cy;
    return layout;
}

BarSlices computeBarSlices(int32_t paintLeft, int32_t paintTop, int32_t paintBottom,
                           int32_t frameX) {
    const int32_t cx = frameX;
    const int32_t fs = settings.fontSize, n = settings.twoLineProcessNames;
    const int32_t top = paintTop + (cx + fs) * n;
    const int32_t height = paintBottom - (cx + fs) * n - paintTop - 1;
    const int32_t sourceY = paintTop - 1 + cx * n;
    const int32_t tcpX = windowLayout.tcpColumnX - 2 * cx - 1;
    const int32_t icmpX = windowLayout.icmpColumnX - 2 * cx - 1;

    // Each bar is copied from its surface to the same x on the window and
    // spans its column in proportion to its rate; the DNS bar shows the
    // unanswered share.
    auto slice = [&](int32_t x, int32_t column, int32_t percent) {
        return BarSlice{x, sourceY, x, top, column * percent / 100, height};
    };
    BarSlices bars;
    bars.dns = slice(paintLeft, windowLayout.tcpColumnX - 2 * cx - paintLeft - 1,
                     100 - overlayRates.dnsResolvedPercent);
    bars.tcp = slice(tcpX, windowLayout.icmpColumnX - windowLayout.tcpColumnX,
                     overlayRates.tcpErrorPercent);
    bars.icmp = slice(icmpX, windowLayout.windowWidth - windowLayout.icmpColumnX,
                      overlayRates.icmpErrorPercent);
    return bars;
}
