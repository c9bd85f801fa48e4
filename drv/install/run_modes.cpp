#include "run_modes.h"

#include "exit_codes.h"
#include "files/pending_deletes.h"
#include "queries/post_reboot_check.h"
#include "foundation/install_log.h"
#include "foundation/install_state.h"
#include "state_lifecycle.h"
#include "help_windows.h"
#include "log_file.h"
#include "log_window.h"
#include "payload_check.h"
#include "queries/queries.h"
#include "run_lock.h"
#include "sequences.h"
#include "tray/session_stop.h"
#include "tray/tray.h"
#include "unusable_windows.h"
#include "window_station.h"

namespace {

bool ShiftIsDown() {
  return (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
}

void ShowLogWhenWanted(InstallState& state, HWND owner) {
  // Where nobody can see a window, nobody can close it: the run goes on to its exit code, and
  // its log is on disk all the same.
  if (!WindowStationIsVisible()) return;
  if (state.errorCount != 0 || ShiftIsDown()) LogWindow(state, owner);
}

// Builds the state of an install or uninstall: its first log line, the run lock, the log file,
// the check of the package's folders, then the rest. False when the lock is not held, for an
// install on a Windows that cannot run our printer, or when a folder of the package is not
// trusted (the log says why): nothing else has been done.
bool StartLockedRun(InstallState& state, unsigned options, const WCHAR* keyword, RunLock& lock,
                    bool install) {
  BeginInstallState(state, options);
  if (!lock.Acquire(&state)) return false;
  // Opened only under the lock, so that two runs never interleave their lines in the file.
  StartRunLog(state, keyword);
  // Before the spooler check, which may start the spooler: a refused install changes nothing.
  if (install && !WindowsCanRunOurPrinter(state)) return false;
  if (!CheckPayload(state, install ? PayloadUse::Install : PayloadUse::Uninstall)) return false;
  CompleteInstallState(state, options);
  return true;
}

// The lock goes before the log window opens: a window that waits for a click must not hold
// back another run.
int RunInstall(unsigned options, const WCHAR* keyword, HWND owner) {
  CloseHelpWindows();
  InstallState state;
  RunLock lock;
  int exitCode = kExitErrors;
  if (StartLockedRun(state, options, keyword, lock, true)) {
    LogLine(state, L"##0010");
    ReInstall(state);
    unsigned scheduled = ScheduleDeletesAtReboot(state);
    exitCode = SequenceExitCode(state.errorCount != 0, scheduled, kExitInstalled);
  }
  FinishRunLog(state, keyword, exitCode);
  lock.Release();
  ShowLogWhenWanted(state, owner);
  LogLine(state, L"##0020");
  ReleaseInstallState(state);
  return exitCode;
}

int RunUninstall(const WCHAR* keyword, HWND owner) {
  CloseHelpWindows();
  InstallState state;
  RunLock lock;
  int exitCode = kExitErrors;
  if (StartLockedRun(state, OptionX64, keyword, lock, false)) {
    FullUninstall(state);
    unsigned scheduled = ScheduleDeletesAtReboot(state);
    exitCode = SequenceExitCode(state.errorCount != 0, scheduled, kExitUninstalled);
  }
  FinishRunLog(state, keyword, exitCode);
  lock.Release();
  ShowLogWhenWanted(state, owner);
  ReleaseInstallState(state);
  return exitCode;
}

// Keeps no log: a lock it cannot have, or a package folder that other accounts can change (the
// stop starts the program's own file in the users' sessions and deletes the companion's file),
// ends the run with 100 and nothing done.
int RunRemoveTray() {
  RunLock lock;
  if (!lock.Acquire(nullptr)) return kExitErrors;
  InstallState state;
  BeginInstallState(state, OptionX64);
  // The checked folders stay held, without delete sharing, until the companion is stopped.
  bool trusted = CheckPayload(state, PayloadUse::Uninstall);
  if (trusted) StopTray();
  ReleaseInstallState(state);
  return trusted ? kExitNoMode : kExitErrors;
}

// Pauses the spooler and deletes files only under the run lock, taken without waiting: while
// another run holds it, the answer comes from what can be read.
int RunPostRebootCheck() {
  RunLock lock;
  bool pending = lock.TryAcquire() ? PostRebootCheck() : DriverFilePendingNow();
  if (pending) return kExitFilesAwaitReboot;
  return QueryDefaultNotOurs() ? kExitDefaultNotOurs : kExitNo;
}

}  // namespace

int SequenceExitCode(bool errorsReported, unsigned scheduledForReboot, int successCode) {
  if (errorsReported) return kExitErrors;
  if (scheduledForReboot != 0) return kExitRebootNeeded;
  return successCode;
}

int ExecuteSessionStop(const WCHAR* argument) {
  int answer = RunSessionStop(argument);
  return answer != 0 ? answer : kExitNoMode;
}

int ExecuteMode(RunMode mode, const WCHAR* keyword, HWND owner) {
  switch (mode) {
    case RunMode::QueryDriverBuild:
      return QueryDriverBuild() ? kExitDriverCurrent : kExitNo;
    case RunMode::PostRebootCheck:
      return RunPostRebootCheck();
    case RunMode::Uninstall:
      return RunUninstall(keyword, owner);
    case RunMode::RemoveTray:
      return RunRemoveTray();
    case RunMode::Install:
      return RunInstall(OptionX64, keyword, owner);
    case RunMode::InstallWithoutTray:
      return RunInstall(OptionX64 | OptionNoTray, keyword, owner);
    case RunMode::MakeOurPrinterDefault:
      SetOurPrinterDefault();
      return kExitDefaultSet;
    case RunMode::SessionStop:
    case RunMode::None:
      break;
  }
  return kExitNoMode;
}
