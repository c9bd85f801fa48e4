#include "companion_quit.h"

#include "../foundation/handles.h"
#include "tray_contract.h"

namespace {

constexpr int kQuitPasses = 20;
constexpr DWORD kQuitWaitMs = 5000;
constexpr DWORD kWindowPollMs = 250;

bool Acquired(DWORD wait) {
  return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

// Posts the quit request to the companion's window until the companion lets go of its mutex.
// A wait that succeeds leaves the mutex with the installer, which never releases it: the
// companion is gone by then, and closing the handle is all that is left to do.
QuitOutcome AskCompanionToQuit(HANDLE mutex) {
  bool requested = false;
  for (int pass = 0; pass < kQuitPasses; ++pass) {
    HWND window = FindWindowW(kTrayWindowClass, nullptr);
    if (window != nullptr) {
      PostMessageW(window, kTrayQuitRequest, 0, 0);
      requested = true;
      if (WaitForSingleObject(mutex, kQuitWaitMs) == WAIT_OBJECT_0) return QuitOutcome::Stopped;
    } else if (requested) {
      // The window went away with the request: one last chance for the mutex.
      return Acquired(WaitForSingleObject(mutex, kQuitWaitMs)) ? QuitOutcome::Stopped
                                                               : QuitOutcome::StillRunning;
    } else {
      Sleep(kWindowPollMs);  // the companion may still be starting
    }
  }
  if (requested && Acquired(WaitForSingleObject(mutex, kQuitWaitMs))) return QuitOutcome::Stopped;
  return QuitOutcome::StillRunning;
}

}  // namespace

QuitOutcome QuitCompanionHere() {
  UniqueKernelHandle mutex(CreateMutexA(nullptr, FALSE, kTrayMutexName));
  if (!mutex.valid()) return QuitOutcome::NoMutex;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return QuitOutcome::NotRunning;
  return AskCompanionToQuit(mutex.get());
}
