// The overlay's decisions: what a paint shows of the queued events, what the
// timer does on each tick, the window's size, place and bars (1920 x 1080).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "app/overlay_model.h"
#include "support/test_support.h"

namespace {

// Queues an event as the capture thread does: the first lands in slot 1.
void queue(const std::string& host, uint8_t kind = kEventTcp4, const char* process = "app.exe") {
    if (++recentWriteIndex >= kRecentEventCapacity) recentWriteIndex = 0;
    RecentEvent& e = recentEvents[recentWriteIndex];
    std::strcpy(e.host, host.c_str());
    std::strcpy(e.process, process);
    e.kind = kind;
    ++pendingEventCount;
}

// One paint as "mode row one/row two colours pen", the colours by their role.
std::string paint() {
    static OverlayFrame f;
    takeOverlayFrame(&f);
    const char* roles[] = {"?", "tcp", "dns", "icmp", "v4", "?", "v6"};
    auto role = [&](uint32_t color) { return color < 7 ? roles[color] : "?"; };
    const char* modes[] = {"status", "event", "noaccess", "rates"};
    const char* pens[] = {"keep", "v4", "v6"};
    return std::string(modes[int(f.mode)]) + " " + f.rowOne + "/" + f.rowTwo + " " +
           role(f.rowOneColor) + "/" + role(f.rowTwoColor) + " " + pens[int(f.pen)] +
           (f.mode == OverlayMode::Rates ? std::string(" ") + f.rateTexts.dns : "");
}

class OverlayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetTrafficTables();
        screenWidth = 1920;
        screenHeight = 1080;
        applyDefaultSettings();
        resetOverlayState();
        settings.tcpColor = {1, 0, 0};
        settings.dnsColor = {2, 0, 0};
        settings.icmpColor = {3, 0, 0};
        settings.ipv4FrameColor = {4, 0, 0};
        settings.ipv6FrameColor = {6, 0, 0};
        nameTable4[0] = {addr4("192.0.2.1"), "a.example", 0}; // one of two names answered
        nameTable4[1] = {0, "b.example", 0};
    }
};

TEST_F(OverlayTest, PaintsShowOneEventAtATime) {
    const struct {
        std::function<void()> before;
        const char* frame;
    } paints[] = {
        // hideErrorRates (1 by default) and nothing yet: the unwritten slot's kind 0
        {[] {}, "noaccess No access./ icmp/v4 keep"},
        {[] { std::strcpy(statusMessage, "Npcap not found."), queue("a.example"); },
         "status / dns/v4 v4"}, // the event waits
        {[] { statusMessage[0] = '\0', settings.hideErrorRates = 0; },
         "event a.example/app.exe tcp/v4 v4"},
        {[] {}, "rates / tcp/v4 keep DNS  50%"}, // in the colours of the kind shown last
        {[] {
             queue("b.example", kEventUdp4, "notfound");
             queue("c.example", kEventTcp6, "svc.exe");
             queue("d.example", kEventUdp6, "notfound");
         },
         "event b.example/--- dns/v4 v4"},
        {[] { eventsDrained = false; }, "event c.example/svc.exe tcp/v6 v6"},
        {[] {}, "event d.example/--- dns/v6 v6"},
        {[] { EXPECT_TRUE(eventsDrained); }, "rates / dns/v6 keep DNS  50%"},
        // With the rates hidden the last event stays on screen, still pending.
        {[] { settings.hideErrorRates = 1, eventsDrained = false, queue("e"), queue("f"); },
         "event e/app.exe tcp/v4 v4"},
        {[] {}, "event f/app.exe tcp/v4 v4"},
        {[] {}, "event f/app.exe tcp/v4 v4"},
    };
    for (const auto& p : paints) {
        p.before();
        EXPECT_EQ(paint(), p.frame);
    }
    EXPECT_EQ(pendingEventCount, 1);
    EXPECT_EQ(recentReadIndex, 6);
    EXPECT_FALSE(eventsDrained);
    EXPECT_STREQ(lastShownHost, "f");
    EXPECT_EQ(colorValue({0x1FF, 0x102, -253}), 0x0302FFu);              // the low 8 bits of each
    const int rows[][3] = {{50, 100, 25}, {99, 100, 0}, {100, 100, -2}}; // centred, or its end kept
    for (const auto& r : rows) EXPECT_EQ(rowTextX(r[0], r[1]), r[2]) << r[0];
}

// 105 events overrun the 100 slots: slots 1 to 5 hold events 101 to 105, slot
// 0 event 100. Each paint takes one slot in ring order.
TEST_F(OverlayTest, OverrunRingIsReadInOrder) {
    settings.hideErrorRates = 0;
    for (int n = 1; n <= 105; ++n) queue("h" + std::to_string(n));
    for (int n = 0; n < 105; ++n) EXPECT_EQ(std::stoi(paint().substr(7)), n < 5 ? 101 + n : n + 1);
    EXPECT_EQ(recentReadIndex, 6);
}

// Every system call of the timer is logged as one letter: L layout,
// I invalidate, O owner refresh, C capture library, S session, M adapter address.
std::string calls;
bool busyDuringLayout, loadResult, openResult, macResult;
const TimerActions kRecorder = {
    [] { calls += 'L', busyDuringLayout = uiBusy == 1; },
    [] { calls += 'I'; },
    [] { calls += 'O'; },
    [] { return calls += 'C', loadResult; },
    [] { return calls += 'S', interfaceFound = openResult; },
    [] { return calls += 'M', macResult; },
};

// `count` ticks, each ended by a dot in the log.
std::string ticks(int count, const TimerActions& actions = kRecorder) {
    calls.clear();
    for (int n = 0; n < count; ++n) runTimerStep(actions), calls += '.';
    return calls;
}

TEST_F(OverlayTest, TimerRefreshesEveryFourthTickAndStartsTheCapture) {
    const struct {
        std::function<void()> before;
        int ticks;
        const char* calls;
    } steps[] = {
        // Traffic seen, but no capture yet: no owners; the library is tried.
        {[] { settings.alwaysOnTop = 0, ownerRefreshPending = 1; }, 4, "...IC."},
        {[] { settings.alwaysOnTop = 1, uiBusy = 1; }, 4, "...IC."}, // no re-layout while busy
        {[] { uiBusy = 0; }, 1, "LIC."},           // a topmost window is laid out once more at once
        {[] { loadResult = true; }, 4, "...ICS."}, // loaded, the session opened, but it fails
        {[] { openResult = true; }, 4, "...IS."},
        {[] {}, 4, "...IM."},
        {[] { macResult = true; }, 4, "...IM."},
        {[] {}, 4, "...OI."},                        // the capture runs: the owners are refreshed
        {[] {}, 4, "...."},                          // nothing changed, nothing repainted
        {[] { pendingEventCount = 11; }, 2, "I.I."}, // a backlog: a refresh on every tick
        {[] { pendingEventCount = 3; }, 1, "I."},    // until the painter drained it
        {[] { pendingEventCount = 0, eventsDrained = true; }, 4, "...I."},
    };
    for (const auto& s : steps) {
        s.before();
        EXPECT_EQ(ticks(s.ticks), s.calls);
    }
    EXPECT_TRUE(busyDuringLayout && localAddressesLoaded);
    EXPECT_FALSE(relayoutPending || uiBusy || burstMode || eventsDrained || ownerRefreshPending);
    // Without a step's action nothing changes and the step waits.
    captureLibraryLoaded = false;
    TimerActions withoutLoad = kRecorder;
    withoutLoad.loadCaptureLibrary = nullptr;
    EXPECT_EQ(ticks(4, withoutLoad), "....");
    EXPECT_EQ(ticks(4), "...CS.");
}

// The layout as "width columns height at outer x,y region left,top-right,bottom".
std::string layoutOf(int32_t monitors, int32_t widest, int32_t dns, int32_t dnsTcp) {
    const WindowLayout l = computeWindowLayout({3, 3, monitors, -1280, -200, widest, dns, dnsTcp});
    char text[128];
    std::snprintf(text, sizeof text, "%d %d,%d %d at %d,%d region %d,%d-%d,%d", l.windowWidth,
                  l.tcpColumnX, l.icmpColumnX, l.outerHeight, l.outerX, l.outerY, l.regionLeft,
                  l.regionTop, l.regionRight, l.regionBottom);
    return text;
}

TEST_F(OverlayTest, WindowLayoutAndBars) {
    // Text width 300 + 20 and two rows of 18: on one screen the visible corner
    // goes from (0, 0) to (1606, 1041), on two monitors from the virtual
    // origin (-1280, -200) to (326, 841).
    const struct {
        int32_t monitors, rows, widest, dns, dnsTcp, x, y;
        const char* layout;
    } cases[] = {
        {1, 1, 300, 100, 200, 100, 200, "320 120,220 46 at 97,197 region 3,3-317,43"},
        {1, 1, 5, 8, 9, 100, 200, "30 30,30 46 at 97,197 region 3,3-27,43"}, // at least 30
        {1, 1, 2400, 1900, 3000, 100, 200, "1926 1920,1926 46 at -3,197 region 3,3-1923,43"},
        {1, 1, 300, 100, 200, -50, -7, "320 120,220 46 at -3,-3 region 3,3-317,43"},
        {2, 1, 300, 100, 200, -50, -7, "320 120,220 46 at -53,-10 region 3,3-317,43"},
        {2, 1, 300, 100, 200, -2000, -300, "320 120,220 46 at -1283,-203 region 3,3-317,43"},
        {1, 1, 300, 100, 200, 5000, 5000, "320 120,220 46 at 1603,1038 region 3,3-317,43"},
        {2, 1, 300, 100, 200, 5000, 5000, "320 120,220 46 at 323,838 region 3,3-317,43"},
        {1, 0, 300, 100, 200, 5000, 5000, "320 120,220 28 at 1603,1056 region 3,3-317,25"},
    };
    for (const auto& c : cases) {
        settings.twoLineProcessNames = c.rows;
        settings.windowX = c.x;
        settings.windowY = c.y;
        EXPECT_EQ(layoutOf(c.monitors, c.widest, c.dns, c.dnsTcp), c.layout);
    }

    // The bars of a rate paint in the paint rectangle (left, top, bottom), as
    // "source x,y>x,y width x height" for DNS, TCP and ICMP, in columns 120
    // and 220 of a 320-pixel window.
    windowLayout = computeWindowLayout({3, 3, 1, 0, 0, 300, 100, 200});
    const struct {
        int32_t rows, left, top, bottom;
        Rates rates;
        const char* bars;
    } paints[] = {
        // Two rows: the bars stand on the second, from y = 21 (frame + font).
        {1, 0, 0, 40, {75, 50, 10}, "0,2>0,21 28x18 113,2>113,21 50x18 213,2>213,21 10x18"},
        // One row; nothing answered is a full DNS bar, no rate no bar.
        {0, 4, 2, 30, {0, 0, 100}, "4,1>4,2 109x27 113,1>113,2 0x27 213,1>213,2 100x27"},
        {0, 4, 2, 30, {100, 99, 0}, "4,1>4,2 0x27 113,1>113,2 99x27 213,1>213,2 0x27"},
    };
    for (const auto& p : paints) {
        settings.twoLineProcessNames = p.rows;
        overlayRates = p.rates;
        const BarSlices b = computeBarSlices(p.left, p.top, p.bottom, 3);
        char text[128];
        std::snprintf(text, sizeof text, "%d,%d>%d,%d %dx%d %d,%d>%d,%d %dx%d %d,%d>%d,%d %dx%d",
                      b.dns.sourceX, b.dns.sourceY, b.dns.x, b.dns.y, b.dns.width, b.dns.height,
                      b.tcp.sourceX, b.tcp.sourceY, b.tcp.x, b.tcp.y, b.tcp.width, b.tcp.height,
                      b.icmp.sourceX, b.icmp.sourceY, b.icmp.x, b.icmp.y, b.icmp.width,
                      b.icmp.height);
        EXPECT_EQ(text, std::string(p.bars));
    }
}

} // namespace
