// What a paint shows and how it takes the recent events the capture thread
// queues: a status text hides everything, events come one per paint in ring
// order, "No access." only while nothing is pending with the rates hidden.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/overlay_model.h"
#include "support/test_support.h"

namespace {

// Colours that tell every role apart (as COLORREF: red low byte, blue high).
constexpr uint32_t kTcp = 0x10, kDns = 0x20, kIcmp = 0x30, kFrame4 = 0x4000, kFrame6 = 0x500000;

class OverlayPaintTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetTrafficTables();
        applyDefaultSettings();
        resetOverlayState();
        settings.tcpColor = {0x10, 0, 0};
        settings.dnsColor = {0x20, 0, 0};
        settings.icmpColor = {0x30, 0, 0};
        settings.ipv4FrameColor = {0, 0x40, 0};
        settings.ipv6FrameColor = {0, 0, 0x50};
    }
    // Queues an event the way the capture thread does: the write index moves
    // on before the slot is written, so the first event lands in slot 1.
    static void queue(const std::string& host, const char* process = "app.exe",
                      uint8_t kind = kEventTcp4) {
        if (++recentWriteIndex >= kRecentEventCapacity) recentWriteIndex = 0;
        RecentEvent& e = recentEvents[recentWriteIndex];
        std::strcpy(e.host, host.c_str());
        std::strcpy(e.process, process);
        e.kind = kind;
        ++pendingEventCount;
    }
    OverlayFrame& paint() {
        takeOverlayFrame(&frame);
        return frame;
    }
    static inline OverlayFrame frame;
};

TEST_F(OverlayPaintTest, ModeChoice) {
    const struct {
        const char* status;
        bool event;
        int32_t hideErrorRates;
        OverlayMode mode;
        const char* rowOne;
        uint32_t rowOneColor;
        int32_t pendingAfter;
    } cases[] = {
        {"Npcap is not installed.", true, 0, OverlayMode::Status, "", kDns, 1}, // not taken
        {"Npcap is not installed.", false, 1, OverlayMode::Status, "", kDns, 0},
        {"", true, 0, OverlayMode::Event, "www.example", kTcp, 0},
        {"", false, 1, OverlayMode::NoAccess, "No access.", kIcmp, 0}, // unwritten slot: kind 0
        {"", false, 0, OverlayMode::Rates, "", kIcmp, 0},
    };
    for (const auto& c : cases) {
        SetUp();
        nameTable4[0] = {addr4("192.0.2.1"), "a.example", 0};
        nameTable4[1] = {0, "b.example", 0};
        std::strcpy(statusMessage, c.status);
        settings.hideErrorRates = c.hideErrorRates;
        if (c.event) queue("www.example");
        const OverlayFrame& f = paint();
        SCOPED_TRACE(std::string(c.status) + " event " + std::to_string(c.event) + " hide " +
                     std::to_string(c.hideErrorRates));
        EXPECT_EQ(f.mode, c.mode);
        EXPECT_STREQ(f.rowOne, c.rowOne);
        EXPECT_EQ(f.rowOneColor, c.rowOneColor);
        EXPECT_EQ(f.pen, c.event ? FramePen::Ipv4 : FramePen::Keep);
        EXPECT_EQ(pendingEventCount, c.pendingAfter);
    }
    // The rate paint recomputed the rates: one of two names answered.
    EXPECT_EQ(overlayRates.dnsResolvedPercent, 50);
    EXPECT_STREQ(frame.rateTexts.dns, "DNS  50%");
}

TEST_F(OverlayPaintTest, HidingTheRatesHoldsTheLastEvent) {
    for (int32_t hide : {0, 1}) {
        SetUp();
        settings.hideErrorRates = hide;
        queue("a.example");
        queue("b.example", "notfound", kEventUdp6);
        std::vector<std::string> shown;
        for (int n = 0; n < 3; ++n) shown.push_back(paint().rowOne);
        SCOPED_TRACE(hide);
        EXPECT_EQ(shown, (hide ? std::vector<std::string>{"a.example", "b.example", "b.example"}
                               : std::vector<std::string>{"a.example", "b.example", ""}));
        EXPECT_EQ(pendingEventCount, hide);
        EXPECT_EQ(recentReadIndex, hide ? 2 : 3);
        EXPECT_EQ(eventsDrained, hide == 0);
        EXPECT_STREQ(lastShownHost, "b.example");
        // Both last frames colour by the UDP-over-IPv6 event (the rate paint
        // by the kind shown last).
        EXPECT_EQ(frame.rowOneColor, kDns);
        EXPECT_EQ(frame.rowTwoColor, kFrame6);
    }
}

TEST_F(OverlayPaintTest, EventKindsChooseFrameAndColours) {
    const struct {
        uint8_t kind;
        const char* process;
        FramePen pen;
        uint32_t host, processRow;
        const char* rowTwo;
    } cases[] = {
        {kEventTcp4, "app.exe", FramePen::Ipv4, kTcp, kFrame4, "app.exe"},
        {kEventUdp4, "notfound", FramePen::Ipv4, kDns, kFrame4, "---"},
        {kEventTcp6, "svc.exe", FramePen::Ipv6, kTcp, kFrame6, "svc.exe"},
        {kEventUdp6, "notfound", FramePen::Ipv6, kDns, kFrame6, "---"},
    };
    settings.hideErrorRates = 0;
    for (const auto& c : cases) {
        queue("host.example", c.process, c.kind);
        const OverlayFrame& f = paint();
        SCOPED_TRACE(int(c.kind));
        EXPECT_EQ(f.pen, c.pen);
        EXPECT_EQ(f.rowOneColor, c.host);
        EXPECT_EQ(f.rowTwoColor, c.processRow);
        EXPECT_STREQ(f.rowTwo, c.rowTwo);
        EXPECT_EQ(lastShownKind, c.kind);
    }
    EXPECT_EQ(colorValue({0x1FF, 0x102, -253}), 0x0302FFu); // low 8 bits of each
}

// 105 events overrun the 100 slots: slots 1 to 5 hold events 101 to 105 by the
// time they are read, slot 0 event 100. Each paint takes one slot in ring order.
TEST_F(OverlayPaintTest, OverrunRingIsReadOneSlotPerPaint) {
    settings.hideErrorRates = 0;
    for (int n = 1; n <= 105; ++n) queue("h" + std::to_string(n));
    std::vector<std::string> expected;
    for (int n = 101; n <= 105; ++n) expected.push_back("h" + std::to_string(n));
    for (int n = 6; n <= 100; ++n) expected.push_back("h" + std::to_string(n));
    for (int n = 101; n <= 105; ++n) expected.push_back("h" + std::to_string(n));
    std::vector<std::string> shown;
    for (int n = 0; n < 105; ++n) {
        shown.push_back(paint().rowOne);
        EXPECT_EQ(pendingEventCount, 104 - n);
    }
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(recentReadIndex, 6);
    EXPECT_TRUE(eventsDrained);
}

TEST(OverlayRowText, CentredOrRightAlignedWhenTooWide) {
    const struct {
        int32_t text, visible, x;
    } cases[] = {{50, 100, 25}, {99, 100, 0}, {100, 100, -2}, {150, 100, -52}};
    for (const auto& c : cases) EXPECT_EQ(rowTextX(c.text, c.visible), c.x) << c.text;
}

} // namespace
