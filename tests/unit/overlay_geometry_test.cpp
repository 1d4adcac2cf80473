// The window's size and place on a 1920 x 1080 screen with 3-pixel frames,
// and the bars of a rate paint.
#include <gtest/gtest.h>

#include <string>

#include "app/overlay_model.h"

namespace {

class OverlayGeometryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        screenWidth = 1920;
        screenHeight = 1080;
        applyDefaultSettings();
        resetOverlayState();
        settings.fontSize = 18;
        settings.twoLineProcessNames = 1;
    }
    // One monitor, text widths 300, 100 and 200.
    LayoutMetrics metrics{3, 3, 1, 0, 0, 300, 100, 200};
};

TEST_F(OverlayGeometryTest, WidthsFollowTheFontWithinTheScreen) {
    const struct {
        int32_t widest, dns, dnsTcp;
        int32_t window, tcpColumn, icmpColumn;
    } cases[] = {
        {300, 100, 200, 320, 120, 220},
        {5, 8, 9, 30, 30, 30},                // tiny font: at least 30
        {2400, 1900, 3000, 1926, 1920, 1926}, // at most the screen + both frames
        {1907, 1906, 1905, 1926, 1926, 1925},
    };
    for (const auto& c : cases) {
        metrics.widestAddressWidth = c.widest;
        metrics.dnsSampleWidth = c.dns;
        metrics.dnsTcpSampleWidth = c.dnsTcp;
        const WindowLayout layout = computeWindowLayout(metrics);
        EXPECT_EQ(layout.windowWidth, c.window) << c.widest;
        EXPECT_EQ(layout.tcpColumnX, c.tcpColumn) << c.dns;
        EXPECT_EQ(layout.icmpColumnX, c.icmpColumn) << c.dnsTcp;
    }
}

// Width 320, two rows of 18 (outer 320 x 46): on one 1920 x 1080 screen the
// visible corner may go from (0, 0) to (1606, 1041), shifted by the virtual
// origin when there are two monitors.
TEST_F(OverlayGeometryTest, PositionIsPulledOntoTheScreen) {
    const struct {
        int32_t monitors, x, y;
        int32_t expectedX, expectedY;
    } cases[] = {
        {1, 100, 200, 100, 200},       {1, -50, -7, 0, 0},          {2, -50, -7, -50, -7},
        {2, -2000, -300, -1280, -200}, {1, 5000, 5000, 1606, 1041}, {2, 5000, 5000, 326, 841},
    };
    metrics.virtualLeft = -1280;
    metrics.virtualTop = -200;
    for (const auto& c : cases) {
        metrics.monitorCount = c.monitors;
        settings.windowX = c.x;
        settings.windowY = c.y;
        const WindowLayout layout = computeWindowLayout(metrics);
        SCOPED_TRACE(std::to_string(c.monitors) + " " + std::to_string(c.x));
        EXPECT_EQ(settings.windowX, c.expectedX);
        EXPECT_EQ(settings.windowY, c.expectedY);
        EXPECT_EQ(layout.outerX, c.expectedX - 3);
        EXPECT_EQ(layout.outerY, c.expectedY - 3);
    }
}

TEST_F(OverlayGeometryTest, HeightAndRegionByRowCount) {
    const struct {
        int32_t rows, height, lowestY, regionBottom;
    } cases[] = {{0, 28, 1059, 25}, {1, 46, 1041, 43}};
    for (const auto& c : cases) {
        settings.twoLineProcessNames = c.rows;
        settings.windowY = 5000;
        const WindowLayout layout = computeWindowLayout(metrics);
        EXPECT_EQ(layout.outerHeight, c.height) << c.rows;
        EXPECT_EQ(settings.windowY, c.lowestY) << c.rows;
        EXPECT_EQ(layout.regionLeft, 3);
        EXPECT_EQ(layout.regionTop, 3);
        EXPECT_EQ(layout.regionRight, 317);
        EXPECT_EQ(layout.regionBottom, c.regionBottom) << c.rows;
    }
}

TEST_F(OverlayGeometryTest, BarsSpanTheirColumnsByRate) {
    windowLayout = computeWindowLayout(metrics); // width 320, columns 120 and 220
    const struct {
        int32_t rows, left, top, bottom;
        Rates rates;
        BarSlice dns, tcp, icmp;
    } cases[] = {
        // Two rows: the bars stand on the second, from y = 21 (frame + font).
        {1,
         0,
         0,
         40,
         {75, 50, 10},
         {0, 2, 0, 21, 28, 18},
         {113, 2, 113, 21, 50, 18},
         {213, 2, 213, 21, 10, 18}},
        // One row; nothing answered is a full DNS bar, no rate no bar.
        {0,
         4,
         2,
         30,
         {0, 0, 100},
         {4, 1, 4, 2, 109, 27},
         {113, 1, 113, 2, 0, 27},
         {213, 1, 213, 2, 100, 27}},
        {0,
         4,
         2,
         30,
         {100, 99, 0},
         {4, 1, 4, 2, 0, 27},
         {113, 1, 113, 2, 99, 27},
         {213, 1, 213, 2, 0, 27}},
    };
    auto same = [](const BarSlice& a, const BarSlice& b) {
        return a.sourceX == b.sourceX && a.sourceY == b.sourceY && a.x == b.x && a.y == b.y &&
               a.width == b.width && a.height == b.height;
    };
    for (const auto& c : cases) {
        settings.twoLineProcessNames = c.rows;
        overlayRates = c.rates;
        const BarSlices bars = computeBarSlices(c.left, c.top, c.bottom, 3);
        EXPECT_TRUE(same(bars.dns, c.dns)) << c.rows << " width " << bars.dns.width;
        EXPECT_TRUE(same(bars.tcp, c.tcp)) << c.rows << " width " << bars.tcp.width;
        EXPECT_TRUE(same(bars.icmp, c.icmp)) << c.rows << " width " << bars.icmp.width;
    }
}

} // namespace
