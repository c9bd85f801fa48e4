// Mutexes and the kernel32 calls that create, release and wait on them. A wait lets the other
// simulated programs run: the clock moves from one due posted message or timer to the next, so a
// companion that answers a request within the time-out lets the waiter in at that moment.
#include "winsim/mutexes.h"

#include <stdio.h>
#include <stdlib.h>

#include "winsim/desktop.h"
#include "winsim/namespaces.h"
#include "winsim/processes.h"

using winsim::Machine;
using winsim::Mutexes;

namespace winsim {

std::string SessionObjectName(DWORD session, const std::string& name) {
  if (name.empty() || name.compare(0, 7, "Global\\") == 0) return name;
  std::string local = name.compare(0, 6, "Local\\") == 0 ? name.substr(6) : name;
  if (session == 0) return "Global\\" + local;
  if (session == kProgramSession) return local;
  return "Session\\" + std::to_string(session) + "\\" + local;
}

std::shared_ptr<Mutexes::Mutex> Mutexes::Open(const std::string& name, bool* existed) {
  *existed = false;
  if (name.empty()) return std::make_shared<Mutex>();
  if (auto living = named_[name].lock()) {
    *existed = true;
    return living;
  }
  auto mutex = std::make_shared<Mutex>();
  mutex->name = name;
  named_[name] = mutex;
  return mutex;
}

bool Mutexes::Exists(const std::string& name) const {
  auto found = named_.find(name);
  return found != named_.end() && !found->second.expired();
}

DWORD Mutexes::OwnerOf(const std::string& name) const {
  auto found = named_.find(name);
  if (found == named_.end()) return 0;
  auto mutex = found->second.lock();
  return mutex ? mutex->owner : 0;
}

bool Mutexes::TryAcquire(Mutex& mutex, DWORD processId, bool* wasAbandoned) {
  *wasAbandoned = false;
  if (mutex.owner != 0 && mutex.owner != processId) return false;
  if (mutex.owner == 0) {
    *wasAbandoned = mutex.abandoned;
    mutex.abandoned = false;
  }
  mutex.owner = processId;
  ++mutex.recursion;
  return true;
}

bool Mutexes::Release(Mutex& mutex, DWORD processId) {
  if (mutex.owner != processId || mutex.recursion == 0) return false;
  if (--mutex.recursion == 0) mutex.owner = 0;
  return true;
}

std::vector<std::string> Mutexes::OwnedBy(DWORD processId) const {
  std::vector<std::string> names;
  for (const auto& entry : named_) {
    auto mutex = entry.second.lock();
    if (mutex && mutex->owner == processId) names.push_back(entry.first);
  }
  return names;
}

void Mutexes::AbandonAllOf(DWORD processId) {
  for (auto& entry : named_) {
    auto mutex = entry.second.lock();
    if (!mutex || mutex->owner != processId) continue;
    mutex->owner = 0;
    mutex->recursion = 0;
    mutex->abandoned = true;
  }
}

}  // namespace winsim

namespace {
constexpr DWORD kProgram = winsim::Processes::kProgramProcessId;

// A process is signalled once it has ended, at the time it ended; one that runs on is waited
// for until the time-out.
DWORD WaitForProcess(Machine& machine, DWORD processId, DWORD milliseconds) {
  const uint64_t now = machine.ElapsedMilliseconds();
  DWORD exitCode = 0;
  uint64_t endedAt = 0;
  bool ended = machine.processes().Ended(processId, &exitCode, &endedAt);
  if (ended && endedAt <= now) {
    winsim::PoisonLastError();
    return WAIT_OBJECT_0;
  }
  if (ended && (milliseconds == INFINITE || endedAt - now <= milliseconds)) {
    machine.Advance(static_cast<DWORD>(endedAt - now));
    winsim::PoisonLastError();
    return WAIT_OBJECT_0;
  }
  if (milliseconds == INFINITE) {
    fprintf(stderr, "winsim: an endless wait on a process that does not end\n");
    abort();
  }
  machine.Advance(milliseconds);
  winsim::PoisonLastError();
  return WAIT_TIMEOUT;
}
}  // namespace

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  Machine& machine = Machine::Current();
  bool existed = false;
  auto mutex = machine.mutexes().Open(
      winsim::SessionObjectName(machine.processes().token.session, lpName != nullptr ? lpName : ""),
      &existed);
  // The initial ownership is granted only to the creator of a new mutex.
  bool abandoned = false;
  if (bInitialOwner && !existed) Mutexes::TryAcquire(*mutex, kProgram, &abandoned);
  HANDLE handle = machine.AddHandle(winsim::HandleKind::Mutex, mutex);
  // The platform sets the last error on success too, so that callers can tell the two apart.
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                           LPCWSTR lpName) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  Machine& machine = Machine::Current();
  const winsim::Token& token = machine.processes().token;
  std::string name = lpName != nullptr ? winsim::Utf8(winsim::FromPtr(lpName)) : "";
  size_t separator = name.find('\\');
  std::string prefix = separator == std::string::npos ? "" : name.substr(0, separator);
  if (!prefix.empty() && prefix != "Global" && prefix != "Local") {
    auto space = machine.namespaces().ByAlias(prefix);
    if (!space) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return nullptr;
    }
    name = winsim::PrivateNamespaces::ObjectName(*space, name.substr(separator + 1));
  } else {
    name = winsim::SessionObjectName(token.session, name);
  }
  winsim::ObjectSecurity security = winsim::ObjectSecurity::MadeBy(token);
  if (lpMutexAttributes != nullptr && lpMutexAttributes->lpSecurityDescriptor != nullptr) {
    if (!winsim::DescriptorSecurity(lpMutexAttributes->lpSecurityDescriptor, &security)) {
      SetLastError(ERROR_INVALID_SECURITY_DESCR);
      return nullptr;
    }
    if (security.owner.empty()) security.owner = token.defaultOwner;
  }
  if (!name.empty()) {
    bool living = machine.mutexes().Exists(name);
    if (!living && !token.Holds(security.owner)) {
      SetLastError(ERROR_INVALID_OWNER);
      return nullptr;
    }
    bool existed = false;
    auto mutex = machine.mutexes().Open(name, &existed);
    if (existed && !mutex->security.Grants(token)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    if (!existed) mutex->security = security;
    bool abandoned = false;
    if (bInitialOwner && !existed) Mutexes::TryAcquire(*mutex, kProgram, &abandoned);
    HANDLE handle = machine.AddHandle(winsim::HandleKind::Mutex, mutex);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
  }
  bool existed = false;
  auto mutex = machine.mutexes().Open("", &existed);
  mutex->security = security;
  bool abandoned = false;
  if (bInitialOwner) Mutexes::TryAcquire(*mutex, kProgram, &abandoned);
  HANDLE handle = machine.AddHandle(winsim::HandleKind::Mutex, mutex);
  SetLastError(ERROR_SUCCESS);
  return handle;
}

HANDLE WINAPI OpenMutexW(DWORD, BOOL, LPCWSTR lpName) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  Machine& machine = Machine::Current();
  const winsim::Token& token = machine.processes().token;
  std::string name = winsim::SessionObjectName(
      token.session, lpName != nullptr ? winsim::Utf8(winsim::FromPtr(lpName)) : "");
  if (name.empty() || !machine.mutexes().Exists(name)) {
    SetLastError(name.empty() ? ERROR_INVALID_PARAMETER : ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  bool existed = false;
  auto mutex = machine.mutexes().Open(name, &existed);
  if (!mutex->security.Grants(token)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  HANDLE handle = machine.AddHandle(winsim::HandleKind::Mutex, mutex);
  winsim::PoisonLastError();
  return handle;
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  auto mutex = Machine::Current().LookupHandle<Mutexes::Mutex>(hMutex, winsim::HandleKind::Mutex);
  if (!mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!Mutexes::Release(*mutex, kProgram)) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  winsim::PoisonLastError();
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  WINSIM_ENTER_OR_FAIL(WAIT_FAILED);
  Machine& machine = Machine::Current();
  if (auto process = machine.LookupHandle<winsim::Processes::ProcessObject>(
          hHandle, winsim::HandleKind::Process)) {
    return WaitForProcess(machine, process->processId, dwMilliseconds);
  }
  auto mutex = machine.LookupHandle<Mutexes::Mutex>(hHandle, winsim::HandleKind::Mutex);
  if (!mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  winsim::Desktop& desktop = machine.desktop();
  const bool forever = dwMilliseconds == INFINITE;
  const uint64_t deadline = machine.ElapsedMilliseconds() + dwMilliseconds;
  for (;;) {
    desktop.DeliverDueMessages();
    bool abandoned = false;
    if (Mutexes::TryAcquire(*mutex, kProgram, &abandoned)) {
      winsim::PoisonLastError();
      return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }
    const uint64_t now = machine.ElapsedMilliseconds();
    std::optional<uint64_t> next = desktop.NextDeliveryTime();
    std::optional<uint64_t> timer = machine.NextTimer();
    if (timer && (!next || *timer < *next)) next = timer;
    if (!next || (!forever && *next > deadline)) {
      if (forever) {
        fprintf(stderr, "winsim: an endless wait on a mutex that nothing will release\n");
        abort();
      }
      machine.Advance(static_cast<DWORD>(deadline - now));
      winsim::PoisonLastError();
      return WAIT_TIMEOUT;
    }
    machine.Advance(static_cast<DWORD>(*next - now));
  }
}
