// Asking the companion of this process's session to quit, through its contract: its mutex (an
// unprefixed name, so one per session) and the quit request posted to its window. Writes
// nothing to the log; waits at most kCompanionQuitBoundMs.
#pragma once

#include <windows.h>

enum class QuitOutcome {
  NoMutex,       // the mutex could be neither made nor opened
  NotRunning,    // no companion held it
  Stopped,       // the companion let go of its mutex
  StillRunning,  // it did not within the time allowed
};

// Up to 20 waits of 5,000 ms after a request each, then one last wait.
constexpr DWORD kCompanionQuitBoundMs = 20 * 5000 + 5000;

QuitOutcome QuitCompanionHere();
