// The overlay in a terminal: rows placed as the overlay places them (centred,
// or keeping their end), double-width characters never cut in half, each rate
// label crossed by its bar in proportion, colours the nearest basic ones, and
// one plain line per frame for logs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/terminal_view_posix.h"

namespace {

const TerminalView kAsciiBasic = {80, false, false};

OverlayFrame eventFrame(const char* host, const char* process) {
    OverlayFrame frame{};
    frame.mode = OverlayMode::Event;
    frame.pen = FramePen::Ipv4;
    std::strcpy(frame.rowOne, host);
    std::strcpy(frame.rowTwo, process);
    return frame;
}

std::string render(const OverlayFrame& frame, const TerminalView& view) {
    static char out[16384];
    renderTerminalFrame(frame, view, "kwh1", out, sizeof out);
    return out;
}

// The text of the screen without escape sequences, one entry per line.
std::vector<std::string> screenLines(const std::string& screen) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < screen.size(); ++i) {
        if (screen[i] == '\x1b') {
            i = screen.find_first_of("ABCDEFGHJKSTfmnsu", i + 2); // the end of a CSI sequence
        } else if (screen[i] == '\n') {
            lines.emplace_back();
        } else if (screen[i] != '\r') {
            lines.back() += screen[i];
        }
    }
    return lines;
}

class TerminalViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("LC_ALL", "C.UTF-8", 1); // read once, at the first conversion
        applyDefaultSettings();
        resetOverlayState();
    }
};

TEST_F(TerminalViewTest, RowsAreCentredOrKeepTheirEnd) {
    const std::string border = "+" + std::string(41, '-') + "+";
    EXPECT_EQ(screenLines(render(eventFrame("www.kestrava.test", "kestrava-traffic"), kAsciiBasic)),
              (std::vector<std::string>{border, "|            www.kestrava.test            |",
                                        "|            kestrava-traffic             |", border,
                                        "kwh1", ""}));

    // 45 cells in a box of 41 start at 41 - 2 - 45 = -6; the character
    // \x82\xa0 (あ) spans cells 5 and 6, so cell 6 shows a blank.
    const std::string wide = "abcde\x82\xa0" + std::string(38, 'x');
    const std::vector<std::string> lines =
        screenLines(render(eventFrame(wide.c_str(), ""), kAsciiBasic));
    EXPECT_EQ(lines[1], "| " + std::string(38, 'x') + "  |");

    // A narrow terminal narrows the box; a text wider than the box keeps its end.
    const TerminalView narrow = {12, false, true};
    const std::string bar = "\xE2\x94\x82"; // UTF-8: literals are code page 932
    EXPECT_EQ(screenLines(render(eventFrame("10.77.0.200", "ab"), narrow))[1],
              bar + "77.0.200  " + bar);
}

TEST_F(TerminalViewTest, RateLabelsAreCrossedByTheirBars) {
    settings.twoLineProcessNames = 0;
    OverlayFrame frame{};
    frame.mode = OverlayMode::Rates;
    frame.pen = FramePen::Keep;
    overlayRates = {70, 50, 100};
    frame.rateTexts = formatRateTexts(overlayRates);
    const std::string screen = render(frame, kAsciiBasic);
    EXPECT_EQ(screenLines(screen)[1], "| DNS  30%      TCP  50%      ICMP 100%   |");
    // Columns of 14, 14 and 13 cells: bars of 14·30/100 = 4, 14·50/100 = 7
    // and 13 cells, in the label's colour with the label in the background's
    // (black 30/40; DNS (255,192,128) is nearest white 37/47, TCP (255,255,0)
    // bright yellow 93/103, ICMP (128,192,255) bright blue 94/104).
    EXPECT_NE(screen.find("\x1b[30m\x1b[47m DNS\x1b[37m\x1b[40m  30%     "), std::string::npos);
    EXPECT_NE(screen.find("\x1b[30m\x1b[103m TCP  5\x1b[93m\x1b[40m0%     "), std::string::npos);
    EXPECT_NE(screen.find("\x1b[30m\x1b[104m ICMP 100%   \x1b[94m\x1b[40m\x1b[92m"),
              std::string::npos);

    // 24-bit colour: the setting's own components.
    EXPECT_NE(render(frame, {80, true, false}).find("\x1b[38;2;0;0;0m\x1b[48;2;255;192;128m DNS"),
              std::string::npos);
}

TEST_F(TerminalViewTest, NearestBasicColours) {
    const struct {
        uint32_t color;
        int index;
    } cases[] = {{0x000000, 0}, {0x00FF00, 10}, {0xFF00FF, 13}, {0x808080, 8}, {0x0000C0, 1}};
    for (const auto& c : cases) EXPECT_EQ(nearestBasicColor(c.color), c.index) << c.color;
}

TEST_F(TerminalViewTest, LogLines) {
    char line[256];
    renderLogLine(eventFrame("www.kestrava.test", "kestrava-traffic"), line, sizeof line);
    EXPECT_STREQ(line, "www.kestrava.test (kestrava-traffic)");
    settings.twoLineProcessNames = 0;
    renderLogLine(eventFrame("www.kestrava.test", "kestrava-traffic"), line, sizeof line);
    EXPECT_STREQ(line, "www.kestrava.test");

    OverlayFrame frame{};
    frame.mode = OverlayMode::Rates;
    frame.rateTexts = formatRateTexts({100, 5, 33});
    renderLogLine(frame, line, sizeof line);
    EXPECT_STREQ(line, "DNS   0%  TCP   5%  ICMP  33%");

    frame.mode = OverlayMode::Status;
    std::strcpy(statusMessage, "Network not connected.");
    renderLogLine(frame, line, sizeof line);
    EXPECT_STREQ(line, "Network not connected.");
}

} // namespace
