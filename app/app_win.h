// The Windows half of the overlay: the window, its drawing resources, the tray
// icon and the menu commands. Everything here runs on the user-interface
// thread; the decisions come from app/overlay_model.h.
#pragma once

#include "app/overlay_model.h"
#include "platform/windows_api.h"

#include <shellapi.h>

// ---- The process and its window (main_win.cpp) ---------------------------------

extern HINSTANCE appInstance;
extern HICON appIcon; // icon 125: class icon, small icon and tray icon
using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
extern SetLayeredWindowAttributesFn setLayeredWindowAttributesFn; // may be null
extern UINT taskbarCreatedMessage;

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Invalidates the whole window without erasing: every repaint is a block copy
// of the composed picture.
void invalidateOverlay(HWND window);

// ---- Drawing resources and start-up (display_win.cpp) --------------------------

extern HDC composeSurface;                               // the whole picture is composed here
extern HDC dnsBarSurface, tcpBarSurface, icmpBarSurface; // one rate bar each
extern HFONT mainFont;
extern HFONT dialogFont; // the settings dialog's font
extern HPEN ipv4FramePen, ipv6FramePen;
extern HBRUSH backgroundBrush, dnsBarBrush, tcpBarBrush, icmpBarBrush;

// WM_CREATE: start values, settings and safe list, surfaces, fonts, pens and
// brushes, the tray icon, the layout and the first capture attempt. Returns 0.
LRESULT initDisplay(HWND window);

// Deletes the six pens and brushes and creates them again from the settings.
// Selecting them into the surfaces is left to the caller.
void createPensAndBrushes();

// Replaces mainFont with one made from the settings' size, weight and face,
// selected into composeSurface.
void rebuildMainFont();

// WM_DESTROY: deletes the surfaces, their bitmaps, the fonts, pens and brushes.
void deleteDisplayResources();

// ---- Painting and geometry (paint_win.cpp, layout_win.cpp) ---------------------

LRESULT paintOverlay(HWND window);

// Selects the frame pen of `pen` into the four surfaces and backgroundBrush
// into composeSurface. Keep selects the pen in use again, as the pens and
// brushes need after createPensAndBrushes replaced them.
void selectFramePen(FramePen pen);

// Width in pixels of the first `length` bytes of `text` in the font selected
// into composeSurface.
int composeTextWidth(const char* text, int length);

// Size, place, region, opacity and z-order from the settings and mainFont.
void applyWindowLayout(HWND window);

// ---- Tray icon, menu and commands (commands_win.cpp) ---------------------------

extern NOTIFYICONDATAA trayIconData;

// Fills trayIconData and adds the icon (at start-up and when the shell's
// notification area was re-created).
void addTrayIcon(HWND window);
void removeTrayIcon();

void showPopupMenu(HWND window);

// WM_COMMAND from the menu: the reports, the settings and version dialogs, the
// reset of the network selection and exit.
void runMenuCommand(HWND window, int id);

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
