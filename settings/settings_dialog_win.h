// The settings dialog (dialog 112), opened by the menu's settings command.
#pragma once

#include "platform/windows_api.h"

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
