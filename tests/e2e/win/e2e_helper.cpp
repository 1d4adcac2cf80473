// kestrava-e2e-helper: a console program that the end-to-end scripts run under
// Wine beside Kestrava.exe, to look at its window and dialogs and to drive them.
//
//   wait-window MS             the overlay, shown within MS: title, styles, visible
//                              area (its region), opacity, topmost, frame sizes
//   text H WEIGHT FACE TEXT... each TEXT in the overlay's font: "text WIDTH L R T B",
//                              its advance and the box of the pixels it covers whole
//   fonts                      the faces the system lists for Shift_JIS, in order
//   command ID | tray-click    post WM_COMMAND ID (prints when), or the tray
//                              icon's left click, to the overlay
//   sync                       until the overlay has handled what came before
//   wait-menu MS               until a popup menu is shown: its rectangle
//   dialog MS [CAPTION]        within MS a dialog of the overlay or a box of one of
//                              its dialogs: the dialogs open, client area, and each
//                              control's rectangle, text, check, bar, list, up-down
//   press ID [MS]              post a click of button ID (2: Escape), wait until
//                              the dialog is gone
//   click ID | scroll ID REQUEST POS COUNT | select ID INDEX | set-text ID TEXT
//                              BM_CLICK; COUNT scroll requests, each ended and
//                              repainted; a pick with its notification; a paste
//
// Verbs joined by " + " run one after the other, up to the first that fails.
// Texts come in code page 932 (Wine's ANSI code page under a Japanese locale)
// and go out as hex of their bytes ("-" when empty), for the scripts to compare.
// Exit status 0, 1 when the awaited thing did not happen, 2 on a usage error.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND overlay() {
    return FindWindowA("Kestrava", nullptr);
}

void printHex(const char* label, const char* text) {
    std::printf("%s %s", label, *text ? "" : "-");
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        std::printf("%02x", *p);
    std::printf("\n");
}

// Calls find() every 50 ms until it gives a window or ms have passed.
template <typename Find> HWND waitFor(int ms, Find find) {
    for (DWORD start = GetTickCount();; Sleep(50)) {
        if (HWND w = find()) return w;
        if (static_cast<int>(GetTickCount() - start) >= ms) return nullptr;
    }
}

void className(HWND w, char (&out)[64]) {
    out[0] = 0;
    GetClassNameA(w, out, sizeof out);
}

void printInfo(HWND w) {
    char title[256] = {0};
    GetWindowTextA(w, title, sizeof title);
    printHex("title", title);
    const LONG exStyle = GetWindowLongA(w, GWL_EXSTYLE);
    std::printf("style 0x%08lx\nexstyle 0x%08lx\n", GetWindowLongA(w, GWL_STYLE), exStyle);
    RECT r, box;
    GetWindowRect(w, &r);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    if (GetWindowRgn(w, region) == ERROR)
        SetRect(&box, 0, 0, r.right - r.left, r.bottom - r.top);
    else
        GetRgnBox(region, &box);
    DeleteObject(region);
    std::printf("visible %ld %ld %ld %ld\n", r.left + box.left, r.top + box.top, r.left + box.right,
                r.top + box.bottom);
    BYTE alpha = 0;
    DWORD flags = 0;
    if (GetLayeredWindowAttributes(w, nullptr, &alpha, &flags))
        std::printf("layered alpha %u flags %lu\n", alpha, flags);
    std::printf("topmost %d\nframe %d %d\n", (exStyle & WS_EX_TOPMOST) ? 1 : 0,
                GetSystemMetrics(SM_CXFIXEDFRAME), GetSystemMetrics(SM_CYFIXEDFRAME));
}

// A dialog (class #32770) owned by the overlay or by one of its dialogs, the
// topmost first; with a caption, only one of that caption.
struct DialogSearch {
    HWND owner;
    const char* caption;
    HWND found;
    int count; // the dialogs the overlay owns itself
};

BOOL CALLBACK findDialogProc(HWND w, LPARAM param) {
    DialogSearch* s = reinterpret_cast<DialogSearch*>(param);
    char cls[64], text[512] = {0};
    className(w, cls);
    HWND owner = GetWindow(w, GW_OWNER);
    if (std::strcmp(cls, "#32770") || !IsWindowVisible(w) || !owner) return TRUE;
    if (owner == s->owner) ++s->count;
    if (owner != s->owner && GetWindow(owner, GW_OWNER) != s->owner) return TRUE;
    GetWindowTextA(w, text, sizeof text);
    if (!s->found && (!s->caption || !std::strcmp(text, s->caption))) s->found = w;
    return TRUE;
}

DialogSearch findDialog(const char* caption) {
    DialogSearch s = {overlay(), caption, nullptr, 0};
    if (s.owner) EnumWindows(findDialogProc, reinterpret_cast<LPARAM>(&s));
    return s;
}

// What another process's control answers to WM_GETTEXT, CB_GETLBTEXT or
// LB_GETTEXT, in code page 932: the wide text, which the system carries
// between processes whole.
void askText(HWND w, UINT message, WPARAM index, char* out, int size) {
    static WCHAR wide[4096];
    wide[0] = 0;
    const UINT lengthMessage = message == LB_GETTEXT ? LB_GETTEXTLEN : CB_GETLBTEXTLEN;
    if (message == WM_GETTEXT)
        index = sizeof wide / sizeof wide[0];
    else if (SendMessageW(w, lengthMessage, index, 0) >= LRESULT(sizeof wide / sizeof wide[0]))
        index = WPARAM(-1); // no such entry: an empty text
    if (index != WPARAM(-1)) SendMessageW(w, message, index, reinterpret_cast<LPARAM>(wide));
    WideCharToMultiByte(CP_ACP, 0, wide, -1, out, size, nullptr, nullptr);
}

BOOL CALLBACK printControlProc(HWND w, LPARAM) {
    static char text[8192];
    char cls[64], label[32];
    className(w, cls);
    const int id = GetDlgCtrlID(w);
    RECT r;
    GetWindowRect(w, &r);
    std::printf("rect %d %ld %ld %ld %ld\n", id, r.left, r.top, r.right, r.bottom);
    askText(w, WM_GETTEXT, 0, text, sizeof text);
    std::snprintf(label, sizeof label, "value %d", id);
    printHex(label, text);
    if (!std::strcmp(cls, "Button")) {
        std::printf("check %d %d\n", id, int(SendMessageA(w, BM_GETCHECK, 0, 0)));
    } else if (!std::strcmp(cls, "ScrollBar")) {
        SCROLLINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = SIF_ALL;
        GetScrollInfo(w, SB_CTL, &info);
        std::printf("bar %d %d %d %d\n", id, info.nPos, info.nMin, info.nMax);
    } else if (!std::strcmp(cls, "ComboBox") || !std::strcmp(cls, "ListBox")) {
        const bool list = cls[0] == 'L';
        std::printf("selected %d %d\n", id,
                    int(SendMessageA(w, list ? LB_GETCURSEL : CB_GETCURSEL, 0, 0)));
        const int count = int(SendMessageA(w, list ? LB_GETCOUNT : CB_GETCOUNT, 0, 0));
        std::snprintf(label, sizeof label, "item %d", id);
        for (int i = 0; i < count; ++i) {
            askText(w, list ? LB_GETTEXT : CB_GETLBTEXT, i, text, sizeof text);
            printHex(label, text);
        }
    } else if (!std::strcmp(cls, "msctls_updown32")) {
        // UDM_GETPOS, UDM_GETRANGE (the high end in the low word), UDM_GETBUDDY
        const LRESULT pos = SendMessageA(w, WM_USER + 104, 0, 0);
        const LRESULT range = SendMessageA(w, WM_USER + 102, 0, 0);
        HWND buddy = reinterpret_cast<HWND>(SendMessageA(w, WM_USER + 106, 0, 0));
        std::printf("updown %d %d %d %d %d\n", id, short(LOWORD(pos)), short(HIWORD(range)),
                    short(LOWORD(range)), buddy ? GetDlgCtrlID(buddy) : 0);
    }
    return TRUE;
}

void printDialog(HWND d) {
    std::printf("dialogs %d\n", findDialog(nullptr).count);
    RECT client;
    GetClientRect(d, &client);
    MapWindowPoints(d, nullptr, reinterpret_cast<POINT*>(&client), 2);
    std::printf("client %ld %ld %ld %ld\n", client.left, client.top, client.right, client.bottom);
    EnumChildWindows(d, printControlProc, 0);
}

// A popup menu's window (class #32768) that is shown.
BOOL CALLBACK findMenuProc(HWND w, LPARAM found) {
    char cls[64];
    className(w, cls);
    if (std::strcmp(cls, "#32768") || !IsWindowVisible(w)) return TRUE;
    *reinterpret_cast<HWND*>(found) = w;
    return FALSE;
}

int CALLBACK printFaceProc(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM) {
    printHex("face", font->lfFaceName);
    return 1;
}

// The verbs on an open dialog's control; 1 without a dialog or control.
int driveControl(char** argv) {
    HWND d = findDialog(nullptr).found;
    HWND control = d ? GetDlgItem(d, std::atoi(argv[2])) : nullptr;
    if (!control) return 1;
    const char* verb = argv[1];
    if (!std::strcmp(verb, "click")) {
        SendMessageA(control, BM_CLICK, 0, 0);
    } else if (!std::strcmp(verb, "scroll")) {
        const LPARAM bar = reinterpret_cast<LPARAM>(control);
        for (int n = std::atoi(argv[5]); n > 0; --n) {
            SendMessageA(d, WM_HSCROLL, MAKEWPARAM(std::atoi(argv[3]), std::atoi(argv[4])), bar);
            SendMessageA(d, WM_HSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), bar);
            RedrawWindow(d, nullptr, nullptr, RDW_UPDATENOW);
        }
    } else if (!std::strcmp(verb, "select")) {
        char cls[64];
        className(control, cls);
        SendMessageA(control, std::strcmp(cls, "ListBox") ? CB_SETCURSEL : LB_SETCURSEL,
                     WPARAM(std::atoi(argv[3])), 0);
        // CBN_SELCHANGE and LBN_SELCHANGE are the same code
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(control));
    } else { // set-text
        SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
    }
    return 0;
}

int run(int argc, char** argv) {
    const char* verb = argc > 1 ? argv[1] : "";
    const auto is = [&](const char* name, int least, int most) {
        return !std::strcmp(verb, name) && argc >= least && argc <= most;
    };
    const int arg = argc > 2 ? std::atoi(argv[2]) : 0;
    HWND w = overlay();
    if (is("wait-window", 3, 3)) {
        w = waitFor(arg, [] {
            HWND o = overlay();
            return o && IsWindowVisible(o) ? o : nullptr;
        });
        if (w) printInfo(w);
        return w ? 0 : 1;
    }
    if (is("text", 6, 99)) {
        HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
        HFONT font = CreateFontA(arg, 0, 0, 0, std::atoi(argv[3]), FALSE, FALSE, FALSE,
                                 SHIFTJIS_CHARSET, 0, 0, 0, FIXED_PITCH | FF_MODERN, argv[4]);
        HGDIOBJ oldFont = SelectObject(dc, font);
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkMode(dc, TRANSPARENT);
        for (int i = 5; i < argc; ++i) {
            const int length = int(std::strlen(argv[i]));
            SIZE size = {0, 0};
            GetTextExtentPoint32A(dc, argv[i], length, &size);
            const int w = size.cx + 8, h = size.cy; // room for a glyph past its advance
            HGDIOBJ oldBitmap = SelectObject(dc, CreateCompatibleBitmap(screen, w, h));
            PatBlt(dc, 0, 0, w, h, BLACKNESS);
            TextOutA(dc, 0, 0, argv[i], length);
            int l = w, t = h, r = -1, b = -1; // the pixels the text covers whole
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (GetPixel(dc, x, y) == RGB(255, 255, 255))
                        l = x < l ? x : l, r = x > r ? x : r, t = y < t ? y : t, b = y;
            std::printf("text %ld %d %d %d %d\n", size.cx, l, r, t, b);
            DeleteObject(SelectObject(dc, oldBitmap));
        }
        DeleteObject(SelectObject(dc, oldFont));
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
        return 0;
    }
    if (is("fonts", 2, 2)) {
        LOGFONTA filter = {};
        filter.lfCharSet = SHIFTJIS_CHARSET;
        HDC screen = GetDC(nullptr);
        EnumFontFamiliesExA(screen, &filter, printFaceProc, 0, 0);
        ReleaseDC(nullptr, screen);
        return 0;
    }
    if (is("wait-menu", 3, 3)) {
        RECT r;
        HWND menu = waitFor(arg, [] {
            HWND found = nullptr;
            EnumWindows(findMenuProc, reinterpret_cast<LPARAM>(&found));
            return found;
        });
        if (menu && GetWindowRect(menu, &r))
            std::printf("menu %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        return menu ? 0 : 1;
    }
    if (is("dialog", 3, 4)) {
        const char* want = argc == 4 ? argv[3] : nullptr;
        HWND d = waitFor(arg, [want] { return findDialog(want).found; });
        if (d) printDialog(d);
        return d ? 0 : 1;
    }
    if (is("press", 3, 4)) {
        // what a click on button ID sends to its dialog (2 without a Cancel
        // button: what the Escape key sends)
        HWND d = findDialog(nullptr).found;
        if (!d) return 1;
        PostMessageA(d, WM_COMMAND, MAKEWPARAM(arg, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(d, arg)));
        const int ms = argc == 4 ? std::atoi(argv[3]) : 5000;
        return waitFor(ms, [d] { return IsWindow(d) ? nullptr : GetDesktopWindow(); }) ? 0 : 1;
    }
    if (is("click", 3, 3) || is("scroll", 6, 6) || is("select", 4, 4) || is("set-text", 4, 4))
        return driveControl(argv);
    if (!w) return 1;
    if (is("command", 3, 3)) {
        if (!PostMessageA(w, WM_COMMAND, WPARAM(arg), 0)) return 1;
        // when, in seconds since 1970 as Linux counts them
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        const unsigned long long ticks = // 100 ns ticks since 1601
            (static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime) -
            116444736000000000ULL;
        std::printf("posted %llu.%06llu\n", ticks / 10000000, ticks % 10000000 / 10);
        return 0;
    }
    if (is("tray-click", 2, 2)) return PostMessageA(w, WM_USER, 0, WM_LBUTTONDOWN) ? 0 : 1;
    if (is("sync", 2, 2)) {
        SendMessageA(w, WM_NULL, 0, 0);
        RedrawWindow(w, nullptr, nullptr, RDW_UPDATENOW);
        return 0;
    }
    std::fprintf(stderr, "kestrava-e2e-helper: unknown verb or arguments (see its source)\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY); // lines end with LF, as the scripts read them
    int status = 0;
    for (int first = 1, last = 1; status == 0 && first < argc; first = ++last) {
        while (last < argc && std::strcmp(argv[last], "+")) ++last;
        argv[first - 1] = argv[0];
        status = run(last - first + 1, argv + first - 1);
    }
    std::fflush(stdout);
    return status;
}
