// The tray companion: registered in the machine's Run key and started, or asked to quit and
// removed. Neither operation writes to the log or reports a failure; each releases what it
// opened on every path.
#pragma once

#include <windows.h>

struct InstallState;
class WString;

// Registers the companion (the directory above the installer's) to run at every logon and
// starts it once, shown normally; nothing when installTray is clear, the installer's directory
// is unknown (empty moduleDir) or on a Windows before NT 6.
void StartTray(InstallState& state);
// Asks a running companion to quit, deletes the file its Run value names unless that file is
// keepFile (same path, ASCII letter case ignored; null keeps nothing), and deletes the value.
void StopTray(const WCHAR* keepFile = nullptr);
// The companion's full path as StartTray registers it, derived from the installer's directory;
// empty when that directory is empty.
WString TrayPath(const WString& moduleDir);
