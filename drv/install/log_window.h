// The log window: a modal dialog (template IDD_LOG_WINDOW) showing the whole install log, its
// title telling whether errors were reported. Returns when the user closes it; if the dialog
// cannot be created the run goes on as if it had been closed.
#pragma once

#include <windows.h>

struct InstallState;

void LogWindow(const InstallState& state, HWND owner);

// The dialog procedure; the creation parameter is the InstallState.
INT_PTR CALLBACK LogWindowProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
