#include "../foundation/handles.h"
#include "../foundation/text_compare.h"
#include "session_stop.h"
#include "tray.h"
#include "tray_contract.h"

namespace {

constexpr DWORD kNoValueSleepMs = 1000;
constexpr int kDeleteAttempts = 10;
constexpr DWORD kLockedRetryMs = 100;
constexpr DWORD kOtherRetryMs = 10;
// The Run value is read into this many units; one more stays zero, so a value that fills
// the whole read without its own terminator still ends.
constexpr DWORD kRunValueUnits = 264;

// A companion that has just ended may still hold its file for a moment.
void DeleteCompanionFile(const WCHAR* path) {
  for (int attempt = 1; attempt <= kDeleteAttempts; ++attempt) {
    if (DeleteFileW(path)) return;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || attempt == kDeleteAttempts) return;
    Sleep(error == ERROR_ACCESS_DENIED ? kLockedRetryMs : kOtherRetryMs);
  }
}

// The value names the file quoted, as it is written now, or bare, as earlier versions wrote
// it: the quotes are no part of the path.
WCHAR* UnquotedPath(WCHAR* path) {
  if (path[0] != L'"') return path;
  int length = lstrlenW(path);
  if (length >= 2 && path[length - 1] == L'"') {
    path[length - 1] = 0;
    return path + 1;
  }
  return path;
}

void RemoveRegisteredFile(HKEY run, const WCHAR* keepFile) {
  WCHAR value[kRunValueUnits + 1] = {};
  DWORD bytes = kRunValueUnits * sizeof(WCHAR);
  if (RegQueryValueExW(run, kTrayRunValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                       &bytes) != ERROR_SUCCESS) {
    Sleep(kNoValueSleepMs);
    return;
  }
  WCHAR* path = UnquotedPath(value);
  if (path[0] == 0) return;
  if (keepFile != nullptr && EqualsIgnoringAsciiCase(path, keepFile)) return;
  DeleteCompanionFile(path);
}

}  // namespace

void StopTray(const WCHAR* keepFile, SessionList* stopped) {
  SessionList ignored;
  bool mutexOpened = StopCompanionsEverywhere(stopped != nullptr ? stopped : &ignored);

  UniqueRegistryKey run;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKeyPath, 0, KEY_ALL_ACCESS, run.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  if (mutexOpened) RemoveRegisteredFile(run.get(), keepFile);
  // Even with the file left behind, the companion must no longer start at logon.
  RegDeleteValueA(run.get(), kTrayRunValueA);
}
