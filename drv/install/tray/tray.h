// The tray companion: registered in the machine's Run key and started, or asked to quit and
// removed. Neither operation writes to the log or reports a failure; each releases what it
// opened on every path.
#pragma once

#include <windows.h>

#include "../foundation/session_list.h"

struct InstallState;
class WString;

// Registers the companion (the directory above the installer's) to run at every logon, its
// path quoted, and starts it once, shown normally, as the interactive user (companion_accounts.h):
// in each active session and in each session of stoppedCompanions when the system account
// runs the installer. Nothing when installTray is clear, the installer's directory is unknown
// (empty moduleDir) or on a Windows before NT 6.
void StartTray(InstallState& state);
// Asks the companion to quit in every session where it runs (session_stop.h), deletes the file
// its Run value names (quoted or not) unless that file is keepFile (same path, ASCII letter
// case ignored; null keeps nothing), and deletes the value. The sessions whose companion quit
// are added to *stopped when it is given.
void StopTray(const WCHAR* keepFile = nullptr, SessionList* stopped = nullptr);
// The companion's full path as StartTray registers it, derived from the installer's directory;
// empty when that directory is empty.
WString TrayPath(const WString& moduleDir);
