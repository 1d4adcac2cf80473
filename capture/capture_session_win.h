// The Windows half of the capture session: the selection dialog, the capture
// thread and the capture adapter's hardware address.
#pragma once

// first: <windows.h> as every Windows file wants it, before the capture
// library's header pulls in the socket headers
#include "platform/windows_api.h"

#include "capture/capture_session.h"

// The dialog, the thread start, the address look-up and the settings save of
// Kestrava.exe; WinMain puts them into captureSessionActions.
extern const CaptureSessionActions systemCaptureSessionActions;

extern HANDLE captureThread; // null until the capture thread was started

// Runs the capture loop on captureHandle; when the loop returns (broken at
// exit, or a capture error) the thread sleeps until the process ends.
DWORD WINAPI captureThreadMain(LPVOID captureHandleAddress);

// Dialog 115: the usable networks, a refresh button and OK.
INT_PTR CALLBACK interfaceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Finds the adapter whose first unicast IPv4 address is captureIpv4Address
// and makes its hardware address the one packet analysis compares with.
// False (nothing changed) when no adapter matches or the list cannot be had.
bool findLocalMacAddress();

// At exit: closes the capture thread's handle without waiting for the thread.
void closeCaptureThread();
