// The fixed names the installer shares with the tray companion and with the logon: the
// companion's single-instance mutex, its window class and quit request, and where it is
// registered to run. The companion is a separate program; these must not change.
#pragma once

#include <windows.h>

constexpr const char* kTrayMutexName = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
constexpr const WCHAR* kTrayWindowClass = L"vxs::{05759F8E-103D-41B6-8A61-EFAA89516692}";
constexpr UINT kTrayQuitRequest = WM_USER + 2;

constexpr const char* kTrayFileName = "vextray.exe";

// Under HKEY_LOCAL_MACHINE. The value holds the companion's full path in double quotes, so that
// a path with blanks names one program at logon; earlier versions wrote it without them.
constexpr const char* kRunKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kTrayRunValueA = "vexaWriterTray";
constexpr const WCHAR* kTrayRunValue = L"vexaWriterTray";
