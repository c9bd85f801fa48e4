#include "run_lock.h"

#include "foundation/error_codes.h"
#include "foundation/install_log.h"
#include "foundation/install_state.h"
#include "foundation/object_security.h"

namespace {
constexpr const WCHAR* kNamespaceAlias = L"vexaWriter";
constexpr const WCHAR* kNamespacedName = L"vexaWriter\\RunLock";
constexpr const WCHAR* kGlobalName = L"Global\\vexaWriter.Install.RunLock";
}  // namespace

bool RunLock::Fail(InstallState* log, const WCHAR* message) {
  if (log != nullptr) ReportError(*log, kErrorRunLock, message);
  mutex_.reset();
  namespace_.reset();
  return false;
}

bool RunLock::Acquire(InstallState* log) {
  return Take(log, true);
}

bool RunLock::TryAcquire() {
  return Take(nullptr, false);
}

bool RunLock::Take(InstallState* log, bool wait) {
  if (held_) return true;
  AdminOnlySecurity security;
  if (security.attributes() == nullptr) return Fail(log, kMessageRunLockUnavailable);
  // Where private namespaces exist, the lock is only ever made inside one: a name under
  // Global\ there is left to whoever made it.
  NamespaceOutcome outcome = OpenAdminNamespace(kNamespaceAlias, security.attributes(), namespace_);
  if (outcome == NamespaceOutcome::Failed) return Fail(log, kMessageRunLockUnavailable);
  const WCHAR* name = outcome == NamespaceOutcome::Opened ? kNamespacedName : kGlobalName;
  mutex_.reset(CreateMutexW(security.attributes(), FALSE, name));
  if (!mutex_) return Fail(log, kMessageRunLockUnavailable);
  if (GetLastError() == ERROR_ALREADY_EXISTS && !OwnedByAdministratorsOrSystem(mutex_.get())) {
    return Fail(log, kMessageRunLockUntrusted);  // never wait on a squatter's object
  }
  DWORD result = WaitForSingleObject(mutex_.get(), 0);
  if (result == WAIT_TIMEOUT && !wait) return Fail(log, kMessageRunLockUnavailable);
  if (result == WAIT_TIMEOUT) {
    if (log != nullptr) {
      LogLine(*log,
              L"Another run of the installer is in progress. Waiting up to %u s for it to end",
              static_cast<unsigned>(kRunLockWaitMs / 1000));
    }
    result = WaitForSingleObject(mutex_.get(), kRunLockWaitMs);
  }
  // An abandoned mutex is a run that died: what it held is free.
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
    held_ = true;
    return true;
  }
  if (result == WAIT_TIMEOUT) {
    SetLastError(WAIT_TIMEOUT);
    return Fail(log, kMessageRunLockTimeout);
  }
  return Fail(log, kMessageRunLockUnavailable);
}

void RunLock::Release() {
  if (held_) ReleaseMutex(mutex_.get());
  held_ = false;
  mutex_.reset();
  namespace_.reset();
}
