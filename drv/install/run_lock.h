// The machine-wide lock that lets one install, uninstall or "removetray" run at a time.
//
// A run takes it after its first log line and before it reads or changes anything another run
// changes, and lets it go before its log window opens. The lock is a mutex that a standard user
// can neither make first nor hold: in a private namespace bounded by the Administrators group
// where the system has those, else under Global\ with an access list for SYSTEM and
// Administrators only, and then trusted when it already exists only if Administrators or the
// system own it. A lock held by another run is waited for at most kRunLockWaitMs, announced in
// one log line; a mutex its dead owner abandoned counts as free. A lock that times out, is not
// trusted or cannot be made is reported as error 18 and not held: the run then changes nothing.
// Without a log ("removetray") nothing is written either way. "onInit" only tries it, without
// waiting: while another run holds it, that mode changes nothing.
#pragma once

#include <windows.h>

#include "foundation/handles.h"
#include "foundation/private_namespace.h"

struct InstallState;

// The longest run of a mode that takes the lock (the install's, in the README's wait table),
// and a margin for the time spent inside platform calls, which that bound does not count: the
// wait comes to five minutes.
constexpr DWORD kLongestLockedRunMs = 245950;
constexpr DWORD kRunLockMarginMs = 54050;
constexpr DWORD kRunLockWaitMs = kLongestLockedRunMs + kRunLockMarginMs;

class RunLock {
 public:
  RunLock() = default;
  ~RunLock() { Release(); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // True when the lock is held. log may be null.
  bool Acquire(InstallState* log);
  // Without waiting and without a log: false when another run holds the lock, or it cannot be
  // had at all.
  bool TryAcquire();
  // Lets go of the lock; nothing when it is not held. Safe to call more than once.
  void Release();

 private:
  bool Take(InstallState* log, bool wait);
  bool Fail(InstallState* log, const WCHAR* message);

  AdminNamespace namespace_;
  UniqueKernelHandle mutex_;
  bool held_ = false;
};
