#include "app/terminal_view_posix.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

// The text that fills the box sets its width, and the samples the rate
// columns, as the overlay measures them in pixels; one cell of margin each side.
int boxWidthFor(int columns) {
    const int widest = int(std::strlen(kWidestAddressSample)) + 2;
    const int fits = columns - 2;
    return fits < 1 ? 1 : fits < widest ? fits : widest;
}

struct Output {
    char* at;
    size_t left; // bytes left before the NUL

    void put(const char* text, size_t length) {
        if (length > left) length = left;
        std::memcpy(at, text, length);
        at += length;
        left -= length;
        *at = '\0';
    }
    void put(const char* text) { put(text, std::strlen(text)); }
    void repeat(const char* text, int times) {
        for (int i = 0; i < times; ++i) put(text);
    }
    void format(const char* pattern, ...) {
        char text[64];
        va_list args;
        va_start(args, pattern);
        int n = std::vsnprintf(text, sizeof text, pattern, args);
        va_end(args);
        if (n > 0) put(text, size_t(n) < sizeof text ? size_t(n) : sizeof text - 1);
    }
};

// The xterm values of the 16 basic colours: 0-7 normal, 8-15 bright.
constexpr uint8_t kBasicColors[16][3] = {
    {0, 0, 0},     {205, 0, 0},     {0, 205, 0},     {205, 205, 0},   {0, 0, 238}, {205, 0, 205},
    {0, 205, 205}, {229, 229, 229}, {127, 127, 127}, {255, 0, 0},     {0, 255, 0}, {255, 255, 0},
    {92, 92, 255}, {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};

void putColor(Output& out, const TerminalView& view, bool foreground, uint32_t color) {
    const int red = color & 0xFF, green = color >> 8 & 0xFF, blue = color >> 16 & 0xFF;
    if (view.trueColor) {
        out.format("\x1b[%d;2;%d;%d;%dm", foreground ? 38 : 48, red, green, blue);
        return;
    }
    const int index = nearestBasicColor(color);
    const int base = foreground ? (index < 8 ? 30 : 90) : (index < 8 ? 40 : 100);
    out.format("\x1b[%dm", base + index % 8);
}

void putColors(Output& out, const TerminalView& view, uint32_t foreground, uint32_t background) {
    putColor(out, view, true, foreground);
    putColor(out, view, false, background);
}

bool isLeadByte(uint8_t c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// The byte where the character holding byte `at` of `text` starts, or `at`
// itself when a character starts there (code page 932).
size_t characterStart(const char* text, size_t length, size_t at) {
    size_t start = 0;
    while (start < length) {
        const size_t next = start + (isLeadByte(uint8_t(text[start])) ? 2 : 1);
        if (next > at) return start;
        start = next;
    }
    return start;
}

// `length` bytes of code page 932 text, in the terminal's character set.
void putText(Output& out, const char* text, size_t length) {
    if (length == 0) return;
    char converted[kRowTwoSize * 2];
    out.put(converted, platformTerminalText(text, length, converted, sizeof converted));
}

// One row of `width` cells holding `text` from cell `x` on; a negative x cuts
// that many cells off its start. A double-width character cut in half becomes
// a blank; the end is cut to fit and the rest padded with blanks. The caller
// sets the colours.
void putRow(Output& out, const char* text, int x, int width) {
    const size_t length = std::strlen(text);
    size_t from = 0;
    int cell = x < width ? x : width;
    if (x < 0) {
        const size_t cut = size_t(-x) < length ? size_t(-x) : length;
        from = characterStart(text, length, cut);
        if (from < cut) from += 2;
        if (from > length) from = length; // a lone lead byte at the end
        cell = int(from - cut);
    }
    size_t to = from + size_t(width - cell);
    if (to >= length)
        to = length;
    else
        to = characterStart(text, length, to);
    out.repeat(" ", cell);
    putText(out, text + from, to - from);
    out.repeat(" ", width - cell - int(to - from));
}

struct Box {
    const char *topLeft, *topRight, *bottomLeft, *bottomRight, *horizontal, *vertical;
};
// UTF-8 bytes written as such: literals are turned into code page 932.
constexpr Box kUtf8Box = {"\xE2\x94\x8C", "\xE2\x94\x90", "\xE2\x94\x94",
                          "\xE2\x94\x98", "\xE2\x94\x80", "\xE2\x94\x82"};
constexpr Box kAsciiBox = {"+", "+", "+", "+", "-", "|"};

// The frame keeps the colour of the last event shown; the first is IPv4's.
FramePen framePen = FramePen::Ipv4;

void endLine(Output& out) {
    out.put("\x1b[0m\x1b[K\r\n");
}

// The three rates with their bars: each column's first cells, in proportion
// to its rate, in the bar colour with the label in the background colour.
void putRates(Output& out, const TerminalView& view, const OverlayFrame& frame, int width) {
    const int full = boxWidthFor(1 << 16);
    const int tcpColumn = width * (int(std::strlen(kDnsSample)) + 1) / full;
    const int icmpColumn = width * (int(std::strlen(kDnsTcpSample)) + 2) / full;
    const struct {
        const char* text;
        const ColorSetting& color;
        int width;
        int percent;
    } columns[3] = {
        {frame.rateTexts.dns, settings.dnsColor, tcpColumn, 100 - overlayRates.dnsResolvedPercent},
        {frame.rateTexts.tcp, settings.tcpColor, icmpColumn - tcpColumn,
         overlayRates.tcpErrorPercent},
        {frame.rateTexts.icmp, settings.icmpColor, width - icmpColumn,
         overlayRates.icmpErrorPercent},
    };
    const uint32_t background = colorValue(settings.backgroundColor);
    for (const auto& column : columns) {
        char cells[32];
        std::snprintf(cells, sizeof cells, " %s", column.text);
        const int bar = column.width * column.percent / 100;
        char barCells[32];
        std::snprintf(barCells, sizeof barCells, "%.*s", bar < 31 ? bar : 31, cells);
        putColors(out, view, background, colorValue(column.color));
        putRow(out, barCells, 0, bar);
        putColors(out, view, colorValue(column.color), background);
        putRow(out, cells + std::strlen(barCells), 0, column.width - bar);
    }
}

} // namespace

int terminalBoxWidth(int columns) {
    return boxWidthFor(columns);
}

int nearestBasicColor(uint32_t color) {
    const int red = color & 0xFF, green = color >> 8 & 0xFF, blue = color >> 16 & 0xFF;
    int best = 0, bestDistance = 1 << 30;
    for (int i = 0; i < 16; ++i) {
        const int dr = red - kBasicColors[i][0], dg = green - kBasicColors[i][1],
                  db = blue - kBasicColors[i][2];
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

size_t renderTerminalFrame(const OverlayFrame& frame, const TerminalView& view, const char* footer,
                           char* out, size_t size) {
    if (size == 0) return 0;
    Output o{out, size - 1};
    *out = '\0';
    const int width = boxWidthFor(view.columns);
    const int rows = settings.twoLineProcessNames + 1;
    const Box& box = view.boxDrawing ? kUtf8Box : kAsciiBox;
    const uint32_t background = colorValue(settings.backgroundColor);
    if (frame.pen != FramePen::Keep) framePen = frame.pen;
    const uint32_t pen =
        colorValue(framePen == FramePen::Ipv4 ? settings.ipv4FrameColor : settings.ipv6FrameColor);

    // The rows of the box: the status text from the left, event rows placed as
    // the overlay places them, the rates on the last row.
    const char* texts[2] = {frame.rowOne, frame.rowTwo};
    if (frame.mode == OverlayMode::Status) texts[0] = statusMessage;
    if (frame.mode == OverlayMode::Rates) texts[0] = rows == 2 ? lastShownHost : "";
    const uint32_t colors[2] = {frame.rowOneColor, frame.rowTwoColor};

    o.put("\x1b[H");
    putColors(o, view, pen, background);
    o.put(box.topLeft);
    o.repeat(box.horizontal, width);
    o.put(box.topRight);
    endLine(o);
    for (int row = 0; row < rows; ++row) {
        putColors(o, view, pen, background);
        o.put(box.vertical);
        if (frame.mode == OverlayMode::Rates && row == rows - 1) {
            putRates(o, view, frame, width);
        } else {
            const int textWidth = int(std::strlen(texts[row]));
            const int x = frame.mode == OverlayMode::Status ? 1 : rowTextX(textWidth, width);
            putColors(o, view, colors[row], background);
            putRow(o, texts[row], x, width);
        }
        putColors(o, view, pen, background);
        o.put(box.vertical);
        endLine(o);
    }
    putColors(o, view, pen, background);
    o.put(box.bottomLeft);
    o.repeat(box.horizontal, width);
    o.put(box.bottomRight);
    endLine(o);
    o.put(footer);
    endLine(o);
    o.put("\x1b[J");
    return size_t(o.at - out);
}

size_t renderLogLine(const OverlayFrame& frame, char* out, size_t size) {
    char line[kNameSize + kRowTwoSize + 8];
    switch (frame.mode) {
    case OverlayMode::Status:
        std::snprintf(line, sizeof line, "%s", statusMessage);
        break;
    case OverlayMode::Event:
        if (settings.twoLineProcessNames == 1)
            std::snprintf(line, sizeof line, "%s (%s)", frame.rowOne, frame.rowTwo);
        else
            std::snprintf(line, sizeof line, "%s", frame.rowOne);
        break;
    case OverlayMode::NoAccess:
        std::snprintf(line, sizeof line, "%s", frame.rowOne);
        break;
    case OverlayMode::Rates:
        std::snprintf(line, sizeof line, "%s  %s  %s", frame.rateTexts.dns, frame.rateTexts.tcp,
                      frame.rateTexts.icmp);
        break;
    }
    return platformTerminalText(line, std::strlen(line), out, size);
}

// ---- The terminal ----------------------------------------------------------------

namespace {

termios savedInput;
bool inputChanged;
bool screenChanged;

} // namespace

bool enterKeyMode() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &savedInput) != 0) return false;
    termios keys = savedInput;
    keys.c_lflag &= ~(ICANON | ECHO);
    keys.c_cc[VMIN] = 0;
    keys.c_cc[VTIME] = 0;
    inputChanged = tcsetattr(STDIN_FILENO, TCSANOW, &keys) == 0;
    return inputChanged;
}

bool enterViewScreen() {
    if (!isatty(STDOUT_FILENO)) return false;
    std::fputs("\x1b[?1049h\x1b[?25l\x1b[2J", stdout);
    std::fflush(stdout);
    screenChanged = true;
    return true;
}

void leaveTerminal() {
    if (screenChanged) {
        std::fputs("\x1b[0m\x1b[?25h\x1b[?1049l", stdout);
        std::fflush(stdout);
        screenChanged = false;
    }
    if (inputChanged) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedInput);
        inputChanged = false;
    }
}

int terminalColumns() {
    winsize size;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}
