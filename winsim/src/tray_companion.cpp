// The scripted tray companion: single instance through its mutex, a window of its class, and
// its chosen reaction to the quit request.
#include "winsim/tray_companion.h"

#include "winsim/desktop.h"
#include "winsim/files.h"
#include "winsim/mutexes.h"
#include "winsim/processes.h"

namespace winsim {

namespace {

WindowActor QuitActor(TrayCompanion::OnQuit onQuit, DWORD processId,
                      std::weak_ptr<Mutexes::Mutex> mutex) {
  return [=](Desktop& desktop, HWND self, UINT message, WPARAM, LPARAM) {
    if (message != TrayCompanion::kQuitRequest) return;
    Processes& processes = Machine::Current().processes();
    switch (onQuit) {
      case TrayCompanion::OnQuit::Ignore:
        return;
      case TrayCompanion::OnQuit::CloseWindowOnly:
        desktop.DestroyWindow(self);
        return;
      case TrayCompanion::OnQuit::ReleaseAndEnd:
        if (auto held = mutex.lock()) Mutexes::Release(*held, processId);
        processes.End(processId, 0);
        return;
      case TrayCompanion::OnQuit::EndWithoutRelease:
        processes.End(processId, 0);
        return;
    }
  };
}

}  // namespace

void TrayCompanion::InstallAt(Machine& machine, const WideText& path) const {
  if (!machine.files().IsFile(path)) machine.files().AddFile(path, "MZ");
  TrayCompanion behaviour = *this;
  machine.processes().RegisterProgram(path, [behaviour](DWORD processId) {
    Machine& machine = Machine::Current();
    Processes& processes = machine.processes();
    // Its mutex and its window are in the session it was started in.
    const DWORD session = processes.TokenOf(processId)->session;
    bool existed = false;
    auto mutex = machine.mutexes().Open(SessionObjectName(session, kMutexName), &existed);
    if (existed) {  // another instance runs
      processes.End(processId, 0);
      return;
    }
    bool abandoned = false;
    Mutexes::TryAcquire(*mutex, processId, &abandoned);
    processes.Keep(processId, mutex);
    if (!behaviour.showsWindow) return;
    HWND window = machine.desktop().AddWindow(kWindowClass, u"vexaWriter",
                                              QuitActor(behaviour.onQuit, processId, mutex),
                                              behaviour.quitDelayMs, session);
    processes.OwnWindow(processId, window);
  });
}

DWORD TrayCompanion::RunAt(Machine& machine, const WideText& path) const {
  InstallAt(machine, path);
  return machine.processes().Start(path);
}

DWORD TrayCompanion::RunAs(Machine& machine, const WideText& path, const Token& user) const {
  InstallAt(machine, path);
  return machine.processes().Start(path, user, u"\"" + path + u"\"");
}

}  // namespace winsim
