// The scripted second run of the installer and its run lock.
#include "winsim/other_run.h"

#include "winsim/files.h"
#include "winsim/mutexes.h"
#include "winsim/namespaces.h"
#include "winsim/processes.h"

namespace winsim {

namespace {
PrivateNamespaces::Boundary LockBoundary() {
  return {OtherRun::kBoundaryName, {kAdministratorsSid}};
}
}  // namespace

ObjectSecurity OtherRun::AdminOnly() {
  ObjectSecurity security;
  security.owner = kAdministratorsSid;
  security.hasDacl = true;
  security.allowed = {kSystemSid, kAdministratorsSid};
  return security;
}

std::string OtherRun::LockName(Machine& machine) {
  if (!machine.namespaces().present) return kGlobalName;
  auto space = machine.namespaces().Find(LockBoundary());
  return space ? PrivateNamespaces::ObjectName(*space, kObjectName) : "";
}

DWORD OtherRun::Start(Machine& machine) const {
  if (!machine.files().IsFile(kProgramPath)) machine.files().AddFile(kProgramPath, "MZ");
  OtherRun run = *this;
  machine.processes().RegisterProgram(kProgramPath, [run](DWORD processId) {
    Machine& machine = Machine::Current();
    Processes& processes = machine.processes();
    std::string name = kGlobalName;
    if (run.place == Place::AsTheInstaller && machine.namespaces().present) {
      bool existed = false;
      auto space = machine.namespaces().CreateOrOpen(LockBoundary(), AdminOnly(), &existed);
      processes.Keep(processId, space);
      name = PrivateNamespaces::ObjectName(*space, kObjectName);
    }
    bool existed = false;
    auto mutex = machine.mutexes().Open(name, &existed);
    if (!existed) mutex->security = run.security;
    processes.Keep(processId, mutex);
    bool abandoned = false;
    if (run.holds) Mutexes::TryAcquire(*mutex, processId, &abandoned);
    if (run.ends == Ends::Never) return;
    std::weak_ptr<Mutexes::Mutex> held = mutex;
    machine.At(run.at, [run, processId, held] {
      Processes& processes = Machine::Current().processes();
      if (!processes.IsRunning(processId)) return;
      if (auto mutex = held.lock(); mutex && run.ends == Ends::Releasing) {
        Mutexes::Release(*mutex, processId);
      }
      processes.End(processId, 0);
    });
  });
  return machine.processes().Start(kProgramPath);
}

}  // namespace winsim
