// The tray icon, the popup menu (menu 106) and what each of its commands does.
#include <cstdio>
#include <cstring>

#include "app/app_win.h"
#include "app/overlay_model.h"
#include "platform/platform.h"
#include "reports/reports.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "settings/settings_dialog_win.h"

NOTIFYICONDATAA trayIconData;

namespace {

constexpr char kTrayTip[20] = "Kestrava";
constexpr char kResetCaption[] = "ネットワーク選択リセット";

using ReportWriter = int32_t (*)(WindowHandle owner);

// Writes a report and opens it with the user's handler for HTML files. The
// path is the executable's drive and directory followed by "\" and the file
// name, so it holds two backslashes; Windows reads them as one.
void openReport(HWND window, ReportWriter writer, const char* fileName) {
    if (writer(window) != 0) return; // the writer has told the user
    char directory[MAX_PATH];
    char path[MAX_PATH * 2];
    if (platformExecutableDirectory(directory, sizeof directory))
        std::snprintf(path, sizeof path, "%s\\%s", directory, fileName);
    else
        std::snprintf(path, sizeof path, "%s", fileName);
    ShellExecuteA(window, "open", path, nullptr, nullptr, SW_SHOW);
}

// Forgets the saved interface, so that the next start asks again when there
// are several networks. The running capture is not touched.
void resetNetworkSelection(HWND window) {
    int answer = MessageBoxA(window,
                             "現在のネットワーク選択をリセットしますか？\r\n"
                             "（WiFiと有線など、複数の有効なネットワークがある場合のみ。）",
                             kResetCaption, MB_YESNO | MB_ICONQUESTION);
    if (answer != IDYES) return;
    std::strcpy(settings.selectedInterface, "undefined");
    saveSettings(window);
    MessageBoxA(window, "ネットワーク選択をリセットしました。一度終了して再起動してください。",
                kResetCaption, MB_OK);
}

void runSettingsDialog(HWND window) {
    DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_SETTINGS), window, settingsDialogProc, 0);
    // OK or Cancel: the current values are saved and laid out either way
    saveSettings(window);
    applyWindowLayout(window);
    invalidateOverlay(window);
}

} // namespace

void addTrayIcon(HWND window) {
    std::memset(&trayIconData, 0, sizeof trayIconData);
    trayIconData.cbSize = sizeof trayIconData;
    trayIconData.hWnd = window;
    trayIconData.uID = IDI_APP;
    trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIconData.uCallbackMessage = WM_USER;
    trayIconData.hIcon = appIcon;
    std::snprintf(trayIconData.szTip, sizeof trayIconData.szTip, "%s", kTrayTip);
    Shell_NotifyIconA(NIM_ADD, &trayIconData);
}

void removeTrayIcon() {
    Shell_NotifyIconA(NIM_DELETE, &trayIconData);
}

void showPopupMenu(HWND window) {
    HMENU menu = LoadMenuA(appInstance, MAKEINTRESOURCEA(IDR_MENU));
    HMENU popup = GetSubMenu(menu, 0);
    POINT cursor{};
    GetCursorPos(&cursor);
    SetForegroundWindow(window);
    // the chosen item comes back as WM_COMMAND
    if (!TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_BOTTOMALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y,
                        0, window, nullptr)) {
        char text[64];
        std::snprintf(text, sizeof text, "Pop up menu error. %d", static_cast<int>(GetLastError()));
        MessageBoxA(window, text, "OPEN ERROR", MB_OK);
    }
    DestroyMenu(menu);
}

void runMenuCommand(HWND window, int id) {
    if (id == IDM_EXIT) {
        DestroyWindow(window); // also while another command runs
        return;
    }
    switch (id) {
    case IDM_VERSION:
    case IDM_SETTINGS:
    case IDM_DNS_REPORT:
    case IDM_TCP_REPORT:
    case IDM_ICMP_REPORT:
    case IDM_PROCESS_REPORT:
    case IDM_RESET_NETWORK:
        break;
    default:
        return;
    }
    if (uiBusy != 0) return;
    uiBusy = 1;
    switch (id) {
    case IDM_VERSION:
        DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_VERSION), window, aboutDialogProc, 0);
        break;
    case IDM_SETTINGS:
        runSettingsDialog(window);
        break;
    case IDM_DNS_REPORT:
        openReport(window, writeDnsReport, "dns.html");
        break;
    case IDM_TCP_REPORT:
        openReport(window, writeTcpReport, "tcp.html");
        break;
    case IDM_ICMP_REPORT:
        openReport(window, writeIcmpReport, "icmp.html");
        break;
    case IDM_PROCESS_REPORT:
        openReport(window, writeProcessReport, "process.html");
        break;
    case IDM_RESET_NETWORK:
        resetNetworkSelection(window);
        break;
    }
    uiBusy = 0;
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    // only the OK button (or Enter) closes the box
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}
