#include "capture/capture_session_win.h"

#include "app/app_win.h"
#include "app/overlay_model.h"
#include "capture/capture_loop.h"
#include "resources/resource.h"
#include "settings/settings.h"

HANDLE captureThread;

namespace {

void runInterfaceDialog(WindowHandle owner) {
    DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_INTERFACE), static_cast<HWND>(owner),
                    interfaceDialogProc, 0);
}

bool startCaptureThread() {
    captureThread = CreateThread(nullptr, 0, captureThreadMain, &captureHandle, 0, nullptr);
    return captureThread != nullptr;
}

// Lists the descriptions of the usable devices in list order (a device
// without one as an empty line, so that list positions stay usable indexes)
// and selects the first.
void fillInterfaceList(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_INTERFACE_LIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const pcap_if_t* d = nextUsableDevice(deviceList); d; d = nextUsableDevice(d->next)) {
        const char* description = d->description ? d->description : "";
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(description));
    }
    selectedDeviceIndex = 0;
    SendMessageA(list, LB_SETCURSEL, 0, 0);
}

} // namespace

const CaptureSessionActions systemCaptureSessionActions = {
    bindCaptureLibrary, runInterfaceDialog, startCaptureThread, findLocalMacAddress, saveSettings,
};

DWORD WINAPI captureThreadMain(LPVOID) {
    // The only work of this thread: the packet loop, which calls handlePacket
    // for every frame. It never waits for the user-interface thread.
    runCaptureLoop(captureHandle);
    Sleep(INFINITE);
    return 0;
}

INT_PTR CALLBACK interfaceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        fillInterfaceList(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        selectedDeviceIndex = static_cast<int32_t>(
            SendDlgItemMessageA(dialog, IDC_INTERFACE_LIST, LB_GETCURSEL, 0, 0));
        if (selectedDeviceIndex >= 0)
            EndDialog(dialog, 0);
        else
            MessageBoxA(dialog, "選択してください。", "エラー", MB_ICONEXCLAMATION);
        return TRUE;
    case IDCANCEL: // Escape or the close box: the selection so far stands
        EndDialog(dialog, 0);
        return TRUE;
    case IDC_INTERFACE_REFRESH:
        refreshDeviceList();
        fillInterfaceList(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}

void closeCaptureThread() {
    if (captureThread) CloseHandle(captureThread);
    captureThread = nullptr;
}
