// kestrava-e2e-helper: a small console program that the end-to-end scripts run
// under Wine beside Kestrava.exe to look at its window and to drive it.
//
//   wait-window MS          wait until the overlay window exists and is visible,
//                           then print what "info" prints
//   info                    the overlay window: handle, title, styles, rectangle,
//                           region box, visible area, layered alpha, topmost
//   wait-gone MS            wait until the overlay window no longer exists
//   command ID              post WM_COMMAND ID to the overlay window; prints
//                           when ("posted SECONDS" since 1970)
//   tray-click              post the tray icon's left-click notification (the
//                           window re-applies its layout and repaints)
//   move X Y                move the overlay window's outer rectangle to X, Y
//   metrics                 frame sizes, screen size and monitor count
//   text-width H WEIGHT FACEHEX TEXT
//                           width of TEXT in the font the overlay creates with
//                           height H, weight WEIGHT and the face given as hex bytes
//   wait-dialog MS [CAPHEX] wait for a dialog owned by the overlay or by one of
//                           its dialogs, the topmost first (optionally with this
//                           caption), then print its caption, its controls'
//                           texts and the check state of its buttons
//   press ID [MS]           post the click of button ID (2 without a Cancel
//                           button: the Escape key) to that dialog and wait (up
//                           to MS) until the dialog is gone
//   wait-menu MS            wait until a popup menu is shown
//   dialog-state            the open dialog as "wait-dialog" prints it, and the
//                           number of dialogs, its client area and controls in
//                           screen coordinates, scroll-bar and up-down positions
//                           and ranges, and the entries of its combo and list
//                           boxes
//   click ID                click button ID of the dialog (BM_CLICK)
//   scroll ID REQUEST POS COUNT
//                           COUNT times the WM_HSCROLL REQUEST (SB_ value, thumb
//                           position POS) of bar ID, each followed by the end of
//                           the scroll and a repaint of the dialog
//   select ID INDEX         pick entry INDEX (-1: none) of combo or list box ID,
//                           with the notification a pick sends
//   set-text ID HEX [N]     put the text (hex bytes, N times over) into control
//                           ID, as a paste does
//   fonts                   the faces the system enumerates for the Shift_JIS
//                           character set, in its order
//   open-close N ID         N times: the settings command, then button ID of the
//                           dialog it opens, waiting each time until it is gone
//   sync                    wait until the overlay's thread has handled everything
//                           sent before and has painted what waits to be painted
//
// Texts are printed as hex of their code page 932 bytes, so that the scripts
// compare bytes, not whatever a terminal makes of them. Exit status 0 on
// success, 1 when the awaited thing did not happen, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* kClassName = "Kestrava";

HWND findOverlay() {
    return FindWindowA(kClassName, nullptr);
}

void printHex(const char* label, const char* text) {
    std::printf("%s ", label);
    if (!*text) std::printf("-");
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        std::printf("%02x", *p);
    std::printf("\n");
}

// Parses hex pairs into bytes; returns false on an odd length or a non-hex digit.
bool parseHex(const char* hex, char* out, size_t outSize) {
    size_t n = std::strlen(hex);
    if (n % 2 != 0 || n / 2 + 1 > outSize) return false;
    for (size_t i = 0; i < n; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        char* end = nullptr;
        long v = std::strtol(pair, &end, 16);
        if (*end) return false;
        out[i / 2] = static_cast<char>(v);
    }
    out[n / 2] = 0;
    return true;
}

void printInfo(HWND window) {
    char title[256] = {0};
    GetWindowTextA(window, title, sizeof title);
    RECT rect;
    GetWindowRect(window, &rect);
    std::printf("hwnd %p\n", static_cast<void*>(window));
    printHex("title", title);
    std::printf("style 0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)));
    LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    std::printf("exstyle 0x%08lx\n", static_cast<unsigned long>(exStyle));
    std::printf("rect %ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    RECT box = {0, 0, rect.right - rect.left, rect.bottom - rect.top};
    if (GetWindowRgn(window, region) != ERROR) {
        GetRgnBox(region, &box);
        std::printf("region %ld %ld %ld %ld\n", box.left, box.top, box.right, box.bottom);
    } else {
        std::printf("region none\n");
    }
    DeleteObject(region);
    std::printf("visible %ld %ld %ld %ld\n", rect.left + box.left, rect.top + box.top,
                rect.left + box.right, rect.top + box.bottom);
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    if (GetLayeredWindowAttributes(window, &key, &alpha, &flags))
        std::printf("layered alpha %u flags %lu\n", alpha, static_cast<unsigned long>(flags));
    else
        std::printf("layered none\n");
    std::printf("topmost %d\n", (exStyle & WS_EX_TOPMOST) ? 1 : 0);
    std::printf("shown %d\n", IsWindowVisible(window) ? 1 : 0);
}

// Calls found() every 50 ms until it gives a non-null handle or ms have passed.
template <typename Find> HWND waitFor(int ms, Find found) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND w = found();
        if (w) return w;
        if (static_cast<int>(GetTickCount() - start) >= ms) return nullptr;
        Sleep(50);
    }
}

struct DialogSearch {
    HWND owner;
    const char* caption; // null: any caption
    HWND found;
};

BOOL CALLBACK findDialogProc(HWND w, LPARAM param) {
    DialogSearch* s = reinterpret_cast<DialogSearch*>(param);
    char cls[64] = {0};
    GetClassNameA(w, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") != 0 || !IsWindowVisible(w)) return TRUE;
    // a message box of a dialog belongs to the overlay too
    HWND owner = GetWindow(w, GW_OWNER);
    if (owner != s->owner && (!owner || GetWindow(owner, GW_OWNER) != s->owner)) return TRUE;
    if (s->caption) {
        char text[512] = {0};
        GetWindowTextA(w, text, sizeof text);
        if (std::strcmp(text, s->caption) != 0) return TRUE;
    }
    s->found = w;
    return FALSE;
}

HWND findDialog(const char* caption) {
    DialogSearch s = {findOverlay(), caption, nullptr};
    if (!s.owner) return nullptr;
    EnumWindows(findDialogProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BOOL CALLBACK printControlProc(HWND w, LPARAM) {
    char cls[64] = {0};
    char text[1024] = {0};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, text, sizeof text);
    std::printf("control %d %s ", GetDlgCtrlID(w), cls);
    printHex("text", text);
    if (!std::strcmp(cls, "Button"))
        std::printf("check %d %d\n", GetDlgCtrlID(w),
                    static_cast<int>(SendMessageA(w, BM_GETCHECK, 0, 0)));
    return TRUE;
}

BOOL CALLBACK findMenuProc(HWND w, LPARAM param) {
    char cls[64] = {0};
    GetClassNameA(w, cls, sizeof cls);
    if (std::strcmp(cls, "#32768") == 0 && IsWindowVisible(w)) {
        *reinterpret_cast<HWND*>(param) = w;
        return FALSE;
    }
    return TRUE;
}

// ---- Driving a dialog as a user does ------------------------------------------

int usage();

struct DialogTally {
    HWND owner;
    int count;
};

BOOL CALLBACK countDialogProc(HWND w, LPARAM param) {
    DialogTally* t = reinterpret_cast<DialogTally*>(param);
    char cls[64] = {0};
    GetClassNameA(w, cls, sizeof cls);
    if (!std::strcmp(cls, "#32770") && IsWindowVisible(w) && GetWindow(w, GW_OWNER) == t->owner)
        ++t->count;
    return TRUE;
}

// The dialogs the overlay owns: one at most while a command runs.
int dialogCount() {
    DialogTally t = {findOverlay(), 0};
    if (t.owner) EnumWindows(countDialogProc, reinterpret_cast<LPARAM>(&t));
    return t.count;
}

void printRect(const char* label, int id, const RECT& r) {
    std::printf("%s %d %ld %ld %ld %ld\n", label, id, r.left, r.top, r.right, r.bottom);
}

// A text another process's control answers to `message` (WM_GETTEXT,
// CB_GETLBTEXT, LB_GETTEXT), in code page 932. The wide message is asked, since
// the system carries a wide text between processes whole.
void askText(HWND w, UINT message, WPARAM index, char* out, int size) {
    static WCHAR wide[4096];
    wide[0] = 0;
    const UINT lengthMessage = message == LB_GETTEXT ? LB_GETTEXTLEN : CB_GETLBTEXTLEN;
    if (message == WM_GETTEXT)
        index = sizeof wide / sizeof wide[0];
    else if (SendMessageW(w, lengthMessage, index, 0) >= LRESULT(sizeof wide / sizeof wide[0]))
        index = WPARAM(-1); // no such entry: an empty text
    if (index != WPARAM(-1)) SendMessageW(w, message, index, reinterpret_cast<LPARAM>(wide));
    out[0] = 0;
    WideCharToMultiByte(CP_ACP, 0, wide, -1, out, size, nullptr, nullptr);
}

BOOL CALLBACK printControlStateProc(HWND w, LPARAM param) {
    printControlProc(w, param);
    const int id = GetDlgCtrlID(w);
    char cls[64] = {0};
    GetClassNameA(w, cls, sizeof cls);
    RECT r;
    GetWindowRect(w, &r);
    printRect("rect", id, r);
    // GetWindowText gives another process's edit box and list as empty
    static char text[8192];
    askText(w, WM_GETTEXT, 0, text, sizeof text);
    char label[32];
    std::snprintf(label, sizeof label, "value %d", id);
    printHex(label, text);
    if (!std::strcmp(cls, "ScrollBar")) {
        SCROLLINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = SIF_ALL;
        GetScrollInfo(w, SB_CTL, &info);
        std::printf("bar %d %d %d %d\n", id, info.nPos, info.nMin, info.nMax);
    } else if (!std::strcmp(cls, "ComboBox") || !std::strcmp(cls, "ListBox")) {
        const bool list = cls[0] == 'L';
        std::printf("selected %d %d\n", id,
                    static_cast<int>(SendMessageA(w, list ? LB_GETCURSEL : CB_GETCURSEL, 0, 0)));
        const int count = static_cast<int>(SendMessageA(w, list ? LB_GETCOUNT : CB_GETCOUNT, 0, 0));
        std::snprintf(label, sizeof label, "item %d", id);
        for (int i = 0; i < count; ++i) {
            askText(w, list ? LB_GETTEXT : CB_GETLBTEXT, i, text, sizeof text);
            printHex(label, text);
        }
    } else if (!std::strcmp(cls, "msctls_updown32")) {
        // UDM_GETPOS, UDM_GETRANGE (high in the low word) and UDM_GETBUDDY
        const LRESULT pos = SendMessageA(w, WM_USER + 104, 0, 0);
        const LRESULT range = SendMessageA(w, WM_USER + 102, 0, 0);
        HWND buddy = reinterpret_cast<HWND>(SendMessageA(w, WM_USER + 106, 0, 0));
        std::printf("updown %d %d %d %d %d\n", id, static_cast<short>(LOWORD(pos)),
                    static_cast<short>(HIWORD(range)), static_cast<short>(LOWORD(range)),
                    buddy ? GetDlgCtrlID(buddy) : 0);
    }
    return TRUE;
}

int CALLBACK printFaceProc(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM) {
    printHex("face", font->lfFaceName);
    return 1;
}

// Sends the settings command and waits for its dialog.
HWND openSettings(int ms) {
    HWND w = findOverlay();
    if (!w || !PostMessageA(w, WM_COMMAND, 40020, 0)) return nullptr;
    return waitFor(ms, [] { return findDialog(nullptr); });
}

bool waitGone(HWND dialog, int ms) {
    return waitFor(ms, [dialog] { return IsWindow(dialog) ? nullptr : GetDesktopWindow(); }) !=
           nullptr;
}

// The dialog subcommands; 1 when there is no dialog or no such control.
int driveDialog(int argc, char** argv) {
    const char* verb = argv[1];
    HWND d = findDialog(nullptr);
    if (!d) {
        std::printf("no dialog\n");
        return 1;
    }
    if (!std::strcmp(verb, "dialog-state")) {
        char text[512] = {0};
        GetWindowTextA(d, text, sizeof text);
        std::printf("dialog %p\ndialogs %d\n", static_cast<void*>(d), dialogCount());
        printHex("caption", text);
        RECT client;
        GetClientRect(d, &client);
        MapWindowPoints(d, nullptr, reinterpret_cast<POINT*>(&client), 2);
        printRect("client", 0, client);
        EnumChildWindows(d, printControlStateProc, 0);
        return 0;
    }
    HWND control = GetDlgItem(d, std::atoi(argv[2]));
    if (!control) {
        std::printf("no control %s\n", argv[2]);
        return 1;
    }
    if (!std::strcmp(verb, "click")) {
        SendMessageA(control, BM_CLICK, 0, 0);
        return 0;
    }
    if (!std::strcmp(verb, "scroll")) {
        const int request = std::atoi(argv[3]), position = std::atoi(argv[4]);
        for (int n = std::atoi(argv[5]); n > 0; --n) {
            SendMessageA(d, WM_HSCROLL, MAKEWPARAM(request, position),
                         reinterpret_cast<LPARAM>(control));
            SendMessageA(d, WM_HSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0),
                         reinterpret_cast<LPARAM>(control));
            RedrawWindow(d, nullptr, nullptr, RDW_UPDATENOW);
        }
        return 0;
    }
    if (!std::strcmp(verb, "select")) {
        char cls[64] = {0};
        GetClassNameA(control, cls, sizeof cls);
        const UINT pick = std::strcmp(cls, "ListBox") ? CB_SETCURSEL : LB_SETCURSEL;
        SendMessageA(control, pick, static_cast<WPARAM>(std::atoi(argv[3])), 0);
        // CBN_SELCHANGE and LBN_SELCHANGE are the same code
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(control));
        return 0;
    }
    // set-text
    static char piece[4096], text[65536];
    if (!parseHex(argv[3], piece, sizeof piece)) return usage();
    const size_t length = std::strlen(piece);
    size_t used = 0;
    for (int n = argc == 5 ? std::atoi(argv[4]) : 1; n > 0 && used + length < sizeof text; --n) {
        std::memcpy(text + used, piece, length);
        used += length;
    }
    text[used] = 0;
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: kestrava-e2e-helper wait-window MS | info | wait-gone MS | command ID |"
                 " tray-click | move X Y | metrics | text-width H WEIGHT FACEHEX TEXT |"
                 " wait-dialog MS [CAPHEX] | press ID [MS] | wait-menu MS | dialog-state |"
                 " click ID | scroll ID REQUEST POS COUNT | select ID INDEX |"
                 " set-text ID HEX [N] | fonts | open-close N ID | sync\n");
    return 2;
}

int run(int argc, char** argv) {
    if (argc < 2) return usage();
    const char* verb = argv[1];
    int arg = argc > 2 ? std::atoi(argv[2]) : 0;

    if (!std::strcmp(verb, "wait-window") && argc == 3) {
        HWND w = waitFor(arg, [] {
            HWND o = findOverlay();
            return (o && IsWindowVisible(o)) ? o : nullptr;
        });
        if (!w) {
            std::printf("no window\n");
            return 1;
        }
        printInfo(w);
        return 0;
    }
    if (!std::strcmp(verb, "info") && argc == 2) {
        HWND w = findOverlay();
        if (!w) {
            std::printf("no window\n");
            return 1;
        }
        printInfo(w);
        return 0;
    }
    if (!std::strcmp(verb, "wait-gone") && argc == 3) {
        HWND gone = waitFor(arg, [] { return findOverlay() ? nullptr : GetDesktopWindow(); });
        return gone ? 0 : 1;
    }
    if (!std::strcmp(verb, "command") && argc == 3) {
        HWND w = findOverlay();
        if (!w) return 1;
        if (!PostMessageA(w, WM_COMMAND, static_cast<WPARAM>(arg), 0)) return 1;
        // when it was posted, in seconds since 1970 as Linux counts them
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        const unsigned long long ticks =
            (static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime) -
            116444736000000000ULL; // 100 ns ticks from 1601 to 1970
        std::printf("posted %llu.%06llu\n", ticks / 10000000, ticks % 10000000 / 10);
        return 0;
    }
    if (!std::strcmp(verb, "tray-click") && argc == 2) {
        HWND w = findOverlay();
        if (!w) return 1;
        return PostMessageA(w, WM_USER, 0, WM_LBUTTONDOWN) ? 0 : 1;
    }
    if (!std::strcmp(verb, "move") && argc == 4) {
        HWND w = findOverlay();
        if (!w) return 1;
        BOOL ok = SetWindowPos(w, nullptr, arg, std::atoi(argv[3]), 0, 0,
                               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return ok ? 0 : 1;
    }
    if (!std::strcmp(verb, "metrics") && argc == 2) {
        std::printf("cxfixedframe %d\n", GetSystemMetrics(SM_CXFIXEDFRAME));
        std::printf("cyfixedframe %d\n", GetSystemMetrics(SM_CYFIXEDFRAME));
        std::printf("cxscreen %d\n", GetSystemMetrics(SM_CXSCREEN));
        std::printf("cyscreen %d\n", GetSystemMetrics(SM_CYSCREEN));
        std::printf("monitors %d\n", GetSystemMetrics(SM_CMONITORS));
        return 0;
    }
    if (!std::strcmp(verb, "text-width") && argc == 6) {
        char face[64];
        if (!parseHex(argv[4], face, sizeof face)) return usage();
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        SetMapMode(dc, MM_TEXT);
        HFONT font = CreateFontA(arg, 0, 0, 0, std::atoi(argv[3]), FALSE, FALSE, FALSE,
                                 SHIFTJIS_CHARSET, 0, 0, 0, FIXED_PITCH | FF_MODERN, face);
        HGDIOBJ old = SelectObject(dc, font);
        SIZE size = {0, 0};
        GetTextExtentPoint32A(dc, argv[5], static_cast<int>(std::strlen(argv[5])), &size);
        char used[64] = {0};
        GetTextFaceA(dc, sizeof used, used);
        std::printf("width %ld\nheight %ld\n", size.cx, size.cy);
        printHex("face", used);
        SelectObject(dc, old);
        DeleteObject(font);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
        return 0;
    }
    if (!std::strcmp(verb, "wait-dialog") && (argc == 3 || argc == 4)) {
        char caption[512];
        const char* want = nullptr;
        if (argc == 4) {
            if (!parseHex(argv[3], caption, sizeof caption)) return usage();
            want = caption;
        }
        HWND d = waitFor(arg, [want] { return findDialog(want); });
        if (!d) {
            std::printf("no dialog\n");
            return 1;
        }
        char text[512] = {0};
        GetWindowTextA(d, text, sizeof text);
        std::printf("dialog %p\n", static_cast<void*>(d));
        printHex("caption", text);
        EnumChildWindows(d, printControlProc, 0);
        return 0;
    }
    if (!std::strcmp(verb, "press") && (argc == 3 || argc == 4)) {
        HWND d = findDialog(nullptr);
        if (!d) {
            std::printf("no dialog\n");
            return 1;
        }
        // What a click on the button sends to its dialog; without such a
        // button, what the Escape key (2) or an accelerator sends.
        HWND button = GetDlgItem(d, arg);
        PostMessageA(d, WM_COMMAND, MAKEWPARAM(arg, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        int ms = argc == 4 ? std::atoi(argv[3]) : 5000;
        HWND gone = waitFor(ms, [d] { return IsWindow(d) ? nullptr : GetDesktopWindow(); });
        if (!gone) {
            std::printf("dialog still open\n");
            return 1;
        }
        return 0;
    }
    if (!std::strcmp(verb, "wait-menu") && argc == 3) {
        HWND m = waitFor(arg, [] {
            HWND found = nullptr;
            EnumWindows(findMenuProc, reinterpret_cast<LPARAM>(&found));
            return found;
        });
        return m ? 0 : 1;
    }
    if ((!std::strcmp(verb, "dialog-state") && argc == 2) ||
        (!std::strcmp(verb, "click") && argc == 3) || (!std::strcmp(verb, "scroll") && argc == 6) ||
        (!std::strcmp(verb, "select") && argc == 4) ||
        (!std::strcmp(verb, "set-text") && (argc == 4 || argc == 5)))
        return driveDialog(argc, argv);
    if (!std::strcmp(verb, "fonts") && argc == 2) {
        LOGFONTA filter = {};
        filter.lfCharSet = SHIFTJIS_CHARSET;
        HDC screen = GetDC(nullptr);
        EnumFontFamiliesExA(screen, &filter, printFaceProc, 0, 0);
        ReleaseDC(nullptr, screen);
        return 0;
    }
    if (!std::strcmp(verb, "open-close") && argc == 4) {
        const int button = std::atoi(argv[3]);
        for (int n = 0; n < arg; ++n) {
            HWND d = openSettings(10000);
            if (!d) {
                std::printf("no dialog at opening %d\n", n + 1);
                return 1;
            }
            PostMessageA(d, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(d, button)));
            if (!waitGone(d, 10000)) {
                std::printf("dialog still open at closing %d\n", n + 1);
                return 1;
            }
        }
        SendMessageA(findOverlay(), WM_NULL, 0, 0); // the command after the dialog has ended
        return 0;
    }
    if (!std::strcmp(verb, "sync") && argc == 2) {
        HWND w = findOverlay();
        if (!w) return 1;
        SendMessageA(w, WM_NULL, 0, 0);
        RedrawWindow(w, nullptr, nullptr, RDW_UPDATENOW);
        return 0;
    }
    return usage();
}

} // namespace

int main(int argc, char** argv) {
    int rc = run(argc, argv);
    std::fflush(stdout);
    return rc;
}
