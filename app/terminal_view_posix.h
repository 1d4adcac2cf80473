// The overlay in a terminal (kestrava-watch): what a paint shows, as text.
//
// The frame comes from takeOverlayFrame, so the terminal shows exactly what
// the overlay would: a status text, the latest host with its process, "No
// access.", or the three rates, each label crossed by its bar. A character
// cell stands for the overlay's pixels: the box is as wide as the widest IPv6
// address text plus a margin, the rate columns as wide as the overlay's sample
// texts, and a text too wide for the box keeps its end, as in the overlay.
// Texts of the tables are code page 932, where a character's bytes are its
// cells; they are converted to the terminal's character set when written.
// User-interface thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/overlay_model.h"

struct TerminalView {
    int columns;     // the terminal's width in cells
    bool trueColor;  // 24-bit colour escapes; else the nearest of the 16 basic colours
    bool boxDrawing; // UTF-8 box-drawing characters; else ASCII
};

// The inner width of the box on a terminal `columns` wide.
int terminalBoxWidth(int columns);

// Index 0 to 15 of the basic terminal colour nearest to `color` (a COLORREF).
int nearestBasicColor(uint32_t color);

// The screen of one paint: the box drawn from the top left corner, then
// `footer` (already in the terminal's character set) on a line of its own,
// every line cleared to its end and the rest of the screen below. Returns the
// length written into `out` (NUL-terminated).
size_t renderTerminalFrame(const OverlayFrame& frame, const TerminalView& view, const char* footer,
                           char* out, size_t size);

// The frame as one plain line for logs, in the terminal's character set:
// the status text, "host (process)" (the host alone with one row), "No
// access.", or the three rate texts.
size_t renderLogLine(const OverlayFrame& frame, char* out, size_t size);

// Standard input in single-key mode without echo (Ctrl-C still interrupts);
// false when it is not a terminal.
bool enterKeyMode();
// The view's own screen (the alternate screen, cursor hidden); false when
// standard output is not a terminal.
bool enterViewScreen();
// Restores what the two above changed.
void leaveTerminal();
// The width of the terminal on standard output; 80 when unknown.
int terminalColumns();
