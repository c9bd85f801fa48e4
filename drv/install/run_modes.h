// The run modes: each mode's sequence of operations and its exit code.
//
// The install and uninstall modes close the help windows, build one InstallState (taking the
// run lock after its first log line), run their sequence, hand what could not be deleted to the
// reboot scheduling, append the log to the log file on disk, let go of the lock, show the log
// window when an error was reported or Shift is held (never where no user can see it), and
// release the state. A run that cannot have the lock runs no sequence and exits with 100.
// "removetray" takes the lock too, without a log (100 when it cannot have it); the queries take
// none. The other modes keep no log.
#pragma once

#include <windows.h>

#include "command_line.h"

// keyword is the mode keyword as given on the command line, for the log file's header.
int ExecuteMode(RunMode mode, const WCHAR* keyword, HWND owner);

// The internal mode that stops the companion in one user's session for an installer run, given
// the argument after its keyword (null when there is none). Takes no run lock and keeps no log;
// started by anyone but an installer run it does nothing and answers 6, as an unknown keyword.
int ExecuteSessionStop(const WCHAR* argument);

// The exit code of an install or uninstall run: errors win over a needed reboot.
int SequenceExitCode(bool errorsReported, unsigned scheduledForReboot, int successCode);
