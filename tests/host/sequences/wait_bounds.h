// The longest each mode can spend in its own sleeps and waits, in milliseconds, built from the
// bounds of the individual waits as the README's table lists them. Time spent inside platform
// calls and the user's time with the log window are not included: the simulation spends none.
#pragma once

#include <stdint.h>

#include <string_view>

namespace wait_bounds {

constexpr uint64_t kHelpWindows = 100 * 50;            // close passes 50 ms apart
constexpr uint64_t kSpoolerState = 50 * 200;           // polls for a state 200 ms apart
constexpr uint64_t kSpoolerPause = 2 * kSpoolerState;  // stopped, then running again
constexpr uint64_t kCompanionQuit = 20 * 5000 + 5000;  // a wait per pass and a last one
constexpr uint64_t kRunValue = 1000;  // the pause for a missing value; longer than the
                                      // companion file's 9 retries of at most 100 ms
constexpr uint64_t kStopTray = kCompanionQuit + kRunValue;
constexpr uint64_t kCopyOpen = 99 * 50;  // 100 opens 50 ms apart (cut at 10 s when slow)
constexpr uint64_t kAddMonitor = 4 * 50;

// The removal both sequences start with: the companion, a spooler pause each for the driver
// and for the monitor.
constexpr uint64_t kRemoval = kStopTray + 2 * kSpoolerPause;
// The uninstall: the removal and a pause for files still held.
constexpr uint64_t kUninstallSteps = kRemoval + kSpoolerPause;
// The install: the removal, a pause for files still held after it, two copies of the monitor
// around a pause, the monitor's additions, the driver, UI and help copies each waiting out its
// retries (the first two succeeding at their last attempt: a failed one ends the driver's
// copies) and a last pause for held files.
constexpr uint64_t kInstallSteps = kRemoval + kSpoolerPause + 2 * kCopyOpen + kSpoolerPause +
                                   kAddMonitor + 3 * kCopyOpen + kSpoolerPause;
// Another run holding the run lock: waited for once, at most the longest install and a margin.
constexpr uint64_t kRunLock = 300000;
constexpr uint64_t kSequenceStart = kHelpWindows + kRunLock + kSpoolerState;  // the lock, then
                                                                              // the spooler check

// The bound of a mode given by its keyword.
constexpr uint64_t ForMode(std::string_view keyword) {
  if (keyword == "install" || keyword == "in_notray") return kSequenceStart + kInstallSteps;
  if (keyword == "uninstall") return kSequenceStart + kUninstallSteps;
  if (keyword == "removetray") return kRunLock + kStopTray;
  if (keyword == "onInit") return 2 * kSpoolerPause;  // two passes, each with a restart
  return 0;                                           // onChkDrv, def.set, none
}

}  // namespace wait_bounds
