// The process entry, the overlay window's procedure, its 200 ms timer and the
// shutdown at exit.
#include "app/app_win.h"
#include "app/overlay_model.h"
#include "capture/capture_library.h"
#include "capture/capture_session_win.h"
#include "capture/owner_table.h"
#include "resources/resource.h"
#include "settings/settings.h"

HINSTANCE appInstance;
HICON appIcon;
SetLayeredWindowAttributesFn setLayeredWindowAttributesFn;
UINT taskbarCreatedMessage;

namespace {

constexpr char kWindowClass[] = "Kestrava";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerPeriodMs = 200;
constexpr WPARAM kMoveByCaption = SC_MOVE | HTCAPTION; // 0xF012
constexpr UINT kTrayCallback = WM_USER;

HMODULE user32Module;
HWND overlayWindow; // the timer's actions have no parameters

void layoutOverlay() {
    applyWindowLayout(overlayWindow);
}

void invalidateWindow() {
    invalidateOverlay(overlayWindow);
}

bool openSessionOnOverlay() {
    return openCaptureSession(overlayWindow) == 1;
}

// What the timer step may ask of the system.
const TimerActions timerActions = {
    layoutOverlay,        // applyLayout
    invalidateWindow,     // invalidate
    refreshOwnerTable,    // refreshOwners
    loadCaptureLibrary,   // loadCaptureLibrary
    openSessionOnOverlay, // openCaptureSession
    findLocalMacAddress,  // findLocalMacAddress
};

void onTrayNotify(HWND window, LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONDOWN && uiBusy == 0) {
        applyWindowLayout(window);
        invalidateOverlay(window);
    } else if (mouseMessage == WM_RBUTTONDOWN && uiBusy == 0) {
        showPopupMenu(window);
    }
    // lets the menu of a background window close when the user clicks elsewhere
    PostMessageA(trayIconData.hWnd, WM_NULL, 0, 0);
}

void onDestroy(HWND window) {
    // The capture thread may be waiting in the capture library for the next
    // frame: the break ends its loop, and nobody waits for it; it ends with
    // the process.
    if (captureLibraryLoaded) breakCaptureLoop();
    closeCaptureThread();
    RECT rect;
    GetWindowRect(window, &rect);
    settings.windowX = rect.left + GetSystemMetrics(SM_CXFIXEDFRAME);
    settings.windowY = rect.top + GetSystemMetrics(SM_CYFIXEDFRAME);
    saveSettings(window);
    FreeLibrary(user32Module);
    setLayeredWindowAttributesFn = nullptr;
    deleteDisplayResources();
    if (captureLibraryLoaded) releaseDeviceList();
    removeTrayIcon();
    PostQuitMessage(0);
}

} // namespace

void invalidateOverlay(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        overlayWindow = window;
        taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
        return initDisplay(window);
    case WM_DESTROY:
        onDestroy(window);
        return 0;
    case WM_PAINT:
        return paintOverlay(window);
    case WM_TIMER:
        runTimerStep(timerActions);
        break;
    case WM_COMMAND:
        runMenuCommand(window, LOWORD(wParam));
        break;
    case WM_MOUSEMOVE:
        // The system's move loop follows the mouse while the left button is
        // held. Windows ends that loop at once when the button is up; Wine's
        // waits for a click and swallows a WM_QUIT posted meanwhile, so the
        // loop is entered only with the button down.
        if (wParam & MK_LBUTTON) SendMessageA(window, WM_SYSCOMMAND, kMoveByCaption, 0);
        break;
    case WM_RBUTTONDOWN:
        if (uiBusy == 0) showPopupMenu(window);
        break;
    case kTrayCallback:
        onTrayNotify(window, lParam);
        break;
    default:
        if (message == taskbarCreatedMessage && message != 0) addTrayIcon(window);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    appIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    captureSessionActions = systemCaptureSessionActions;

    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = appIcon;
    windowClass.hIconSm = appIcon;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExA(&windowClass)) return 0;

    // looked up at run time: without it the window stays opaque
    user32Module = LoadLibraryA("user32.dll");
    setLayeredWindowAttributesFn = reinterpret_cast<SetLayeredWindowAttributesFn>(
        reinterpret_cast<void*>(GetProcAddress(user32Module, "SetLayeredWindowAttributes")));

    // The instance is needed while the window is created: WM_CREATE already
    // loads the capture interface dialog when it has to ask.
    appInstance = instance;
    HWND window = CreateWindowExA(WS_EX_LAYERED | WS_EX_TOOLWINDOW, kWindowClass, "Kestrava",
                                  WS_POPUP | WS_DLGFRAME | WS_SYSMENU, 0, 0, 10, 10, nullptr,
                                  nullptr, instance, nullptr);
    if (!window) return 0;

    ShowWindow(window, showCommand);
    SetTimer(window, kTimerId, kTimerPeriodMs, nullptr);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) != 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
