// The overlay in a terminal: rows placed as the window places them, double-width
// characters never cut in half, rate labels crossed by their bars, the nearest
// basic colours, and one plain line per frame for logs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/terminal_view_posix.h"

namespace {

OverlayFrame frameOf(OverlayMode mode, const char* rowOne = "", const char* rowTwo = "") {
    setenv("LC_ALL", "C.UTF-8", 1); // read once, at the first conversion
    OverlayFrame frame{};
    frame.mode = mode;
    frame.pen = mode == OverlayMode::Event ? FramePen::Ipv4 : FramePen::Keep;
    std::strcpy(frame.rowOne, rowOne);
    std::strcpy(frame.rowTwo, rowTwo);
    frame.rateTexts = formatRateTexts(overlayRates);
    return frame;
}

std::string render(const OverlayFrame& frame, const TerminalView& view = {80, false, false}) {
    static char out[16384];
    renderTerminalFrame(frame, view, "kwh1", out, sizeof out);
    return out;
}

// The lines of a screen without their escape sequences.
std::vector<std::string> lines(const std::string& screen) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < screen.size(); ++i) {
        if (screen[i] == '\x1b')
            i = screen.find_first_of("ABCDEFGHJKSTfmnsu", i + 2); // the end of a CSI sequence
        else if (screen[i] == '\n')
            lines.emplace_back();
        else if (screen[i] != '\r')
            lines.back() += screen[i];
    }
    return lines;
}

TEST(TerminalViewTest, RowsAreCentredOrKeepTheirEnd) {
    applyDefaultSettings();
    resetOverlayState();
    const std::string border = "+" + std::string(41, '-') + "+";
    EXPECT_EQ(lines(render(frameOf(OverlayMode::Event, "www.kestrava.test", "kestrava-traffic"))),
              (std::vector<std::string>{border, "|            www.kestrava.test            |",
                                        "|            kestrava-traffic             |", border,
                                        "kwh1", ""}));
    // 45 cells in a box of 41 start at 41 - 2 - 45 = -6; the character
    // \x82\xa0 (あ) spans cells 5 and 6, so cell 6 shows a blank.
    const std::string wide = "abcde\x82\xa0" + std::string(38, 'x');
    EXPECT_EQ(lines(render(frameOf(OverlayMode::Event, wide.c_str())))[1],
              "| " + std::string(38, 'x') + "  |");
    // A narrow terminal narrows the box; a status text starts at the left.
    const std::string bar = "\xE2\x94\x82"; // UTF-8: literals are code page 932
    EXPECT_EQ(lines(render(frameOf(OverlayMode::Event, "10.77.0.200", "ab"), {12, false, true}))[1],
              bar + "77.0.200  " + bar);
    EXPECT_EQ(lines(render(frameOf(OverlayMode::Event, "ab"), {2, false, false}))[0], "+-+");
    std::strcpy(statusMessage, "Npcap not found.");
    EXPECT_EQ(lines(render(frameOf(OverlayMode::Status), {12, false, false}))[1], "| Npcap not|");
}

TEST(TerminalViewTest, RatesAndLogLines) {
    applyDefaultSettings();
    resetOverlayState();
    settings.twoLineProcessNames = 0;
    overlayRates = {70, 50, 100};
    const std::string screen = render(frameOf(OverlayMode::Rates));
    EXPECT_EQ(lines(screen)[1], "| DNS  30%      TCP  50%      ICMP 100%   |");
    // Columns of 14, 14 and 13 cells: bars of 14·30/100 = 4, 14·50/100 = 7
    // and 13 cells, in the label's colour with the label in the background's
    // (black 30/40; DNS (255,192,128) is nearest white 37/47, TCP (255,255,0)
    // bright yellow 93/103, ICMP (128,192,255) bright blue 94/104).
    for (const char* bar : {"\x1b[30m\x1b[47m DNS\x1b[37m\x1b[40m  30%     ",
                            "\x1b[30m\x1b[103m TCP  5\x1b[93m\x1b[40m0%     ",
                            "\x1b[30m\x1b[104m ICMP 100%   \x1b[94m\x1b[40m\x1b[92m"})
        EXPECT_NE(screen.find(bar), std::string::npos) << bar;
    // 24-bit colour: the setting's own components.
    EXPECT_NE(render(frameOf(OverlayMode::Rates), {80, true, false})
                  .find("\x1b[38;2;0;0;0m\x1b[48;2;255;192;128m DNS"),
              std::string::npos);

    auto log = [](const OverlayFrame& frame) {
        static char text[256];
        renderLogLine(frame, text, sizeof text);
        return std::string(text);
    };
    const OverlayFrame event = frameOf(OverlayMode::Event, "www.kestrava.test", "kestrava-traffic");
    overlayRates = {100, 5, 33};
    EXPECT_EQ(log(event) + "|" + log(frameOf(OverlayMode::Rates)),
              "www.kestrava.test|DNS   0%  TCP   5%  ICMP  33%");
    settings.twoLineProcessNames = 1;
    EXPECT_EQ(log(event) + "|" + log(frameOf(OverlayMode::NoAccess, "No access.")),
              "www.kestrava.test (kestrava-traffic)|No access.");
}

} // namespace
