#include "../foundation/handles.h"
#include "../foundation/text_compare.h"
#include "tray.h"
#include "tray_contract.h"

namespace {

constexpr int kQuitPasses = 20;
constexpr DWORD kQuitWaitMs = 5000;
constexpr DWORD kWindowPollMs = 250;
constexpr DWORD kNoValueSleepMs = 1000;
constexpr int kDeleteAttempts = 10;
constexpr DWORD kLockedRetryMs = 100;
constexpr DWORD kOtherRetryMs = 10;
// The Run value is read into this many units; one more stays zero, so a value that fills
// the whole read without its own terminator still ends.
constexpr DWORD kRunValueUnits = 264;

// Posts the quit request to the companion's window until the companion lets go of its mutex.
// A wait that succeeds leaves the mutex with the installer, which never releases it: the
// companion is gone by then, and closing the handle is all that is left to do.
void AskCompanionToQuit(HANDLE mutex) {
  bool requested = false;
  for (int pass = 0; pass < kQuitPasses; ++pass) {
    HWND window = FindWindowW(kTrayWindowClass, nullptr);
    if (window != nullptr) {
      PostMessageW(window, kTrayQuitRequest, 0, 0);
      requested = true;
      if (WaitForSingleObject(mutex, kQuitWaitMs) == WAIT_OBJECT_0) return;
    } else if (requested) {
      // The window went away with the request: one last chance for the mutex.
      WaitForSingleObject(mutex, kQuitWaitMs);
      return;
    } else {
      Sleep(kWindowPollMs);  // the companion may still be starting
    }
  }
  if (requested) WaitForSingleObject(mutex, kQuitWaitMs);
}

// A companion that has just ended may still hold its file for a moment.
void DeleteCompanionFile(const WCHAR* path) {
  for (int attempt = 1; attempt <= kDeleteAttempts; ++attempt) {
    if (DeleteFileW(path)) return;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || attempt == kDeleteAttempts) return;
    Sleep(error == ERROR_ACCESS_DENIED ? kLockedRetryMs : kOtherRetryMs);
  }
}

void RemoveRegisteredFile(HKEY run, const WCHAR* keepFile) {
  WCHAR path[kRunValueUnits + 1] = {};
  DWORD bytes = kRunValueUnits * sizeof(WCHAR);
  if (RegQueryValueExW(run, kTrayRunValue, nullptr, nullptr, reinterpret_cast<BYTE*>(path),
                       &bytes) != ERROR_SUCCESS) {
    Sleep(kNoValueSleepMs);
    return;
  }
  if (path[0] == 0) return;
  if (keepFile != nullptr && EqualsIgnoringAsciiCase(path, keepFile)) return;
  DeleteCompanionFile(path);
}

}  // namespace

void StopTray(const WCHAR* keepFile) {
  UniqueKernelHandle mutex(CreateMutexA(nullptr, FALSE, kTrayMutexName));
  bool mutexOpened = mutex.valid();
  if (mutexOpened && GetLastError() == ERROR_ALREADY_EXISTS) AskCompanionToQuit(mutex.get());
  mutex.reset();

  UniqueRegistryKey run;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKeyPath, 0, KEY_ALL_ACCESS, run.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  if (mutexOpened) RemoveRegisteredFile(run.get(), keepFile);
  // Even with the file left behind, the companion must no longer start at logon.
  RegDeleteValueA(run.get(), kTrayRunValueA);
}
