// The run modes: each mode's sequence of operations and its exit code.
//
// The install and uninstall modes close the help windows, build one InstallState, run their
// sequence, hand what could not be deleted to the reboot scheduling, append the log to the log
// file on disk, show the log window when an error was reported or Shift is held (never where no
// user can see it), and release the state. The other modes keep no log.
#pragma once

#include <windows.h>

#include "command_line.h"

// keyword is the mode keyword as given on the command line, for the log file's header.
int ExecuteMode(RunMode mode, const WCHAR* keyword, HWND owner);

// The exit code of an install or uninstall run: errors win over a needed reboot.
int SequenceExitCode(bool errorsReported, unsigned scheduledForReboot, int successCode);
