// The tray companion's contract as the installer meets it: its named mutex (created new,
// opened again, waited on, released), its window found by class, the quit request posted to it,
// process creation of a missing and of a present program, deleting the companion's file once it
// has ended, the Windows version, and a Run value that fills the installer's whole read.
#include "probe.h"

namespace {

const char kMutexName[] = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
const WCHAR kWindowClass[] = L"vxs::{05759F8E-103D-41B6-8A61-EFAA89516692}";
const WCHAR kCompanion[] = PROBE_DIR L"\\old\\vextray.exe";

const char* WaitResult(DWORD result) {
  switch (result) {
    case WAIT_OBJECT_0:
      return "object";
    case WAIT_ABANDONED:
      return "abandoned";
    case WAIT_TIMEOUT:
      return "timeout";
    default:
      return "failed";
  }
}

// "yes" once the companion's window is there (wanted) or gone (!wanted), polled for up to 5 s:
// a program that has just been started, or asked to quit, takes its time.
const char* WindowBecomes(bool wanted) {
  for (int poll = 0; poll < 100; ++poll) {
    if ((FindWindowW(kWindowClass, nullptr) != nullptr) == wanted) return "yes";
    Sleep(50);
  }
  return "no";
}

BOOL StartProgram(const WCHAR* path) {
  WCHAR commandLine[MAX_PATH + 2] = L"\"";
  lstrcatW(commandLine, path);
  lstrcatW(commandLine, L"\"");
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                      nullptr, &startup, &process)) {
    return FALSE;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return TRUE;
}

void ProbeMutexAlone() {
  HANDLE first = CreateMutexA(nullptr, FALSE, kMutexName);
  Observe("tray.mutex_new", "%s exists %s", first != nullptr ? "handle" : "none",
          GetLastError() == ERROR_ALREADY_EXISTS ? "yes" : "no");
  HANDLE second = CreateMutexA(nullptr, FALSE, kMutexName);
  Observe("tray.mutex_again", "%s exists %s", second != nullptr ? "handle" : "none",
          GetLastError() == ERROR_ALREADY_EXISTS ? "yes" : "no");
  Observe("tray.wait_free", "%s", WaitResult(WaitForSingleObject(second, 0)));
  ObserveCall("tray.release_owned", ReleaseMutex(first));
  ObserveCall("tray.release_unowned", ReleaseMutex(first));
  CloseHandle(second);
  CloseHandle(first);
  Observe("tray.window_without_companion", "%s",
          FindWindowW(kWindowClass, nullptr) != nullptr ? "found" : "none");
}

void ProbeCompanion() {
  ObserveCall("tray.start_missing", StartProgram(PROBE_DIR L"\\old\\missing.exe"));
  CopyProbeFile(PROBE_DIR L"\\vextray.exe", kCompanion);
  ObserveCall("tray.start", StartProgram(kCompanion));
  Observe("tray.window_appears", "%s", WindowBecomes(true));
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kMutexName);
  Observe("tray.mutex_of_companion", "exists %s",
          GetLastError() == ERROR_ALREADY_EXISTS ? "yes" : "no");
  Observe("tray.wait_held", "%s", WaitResult(WaitForSingleObject(mutex, 0)));
  HWND window = FindWindowW(kWindowClass, nullptr);
  ObserveCall("tray.post_quit", PostMessageW(window, WM_USER + 2, 0, 0));
  Observe("tray.wait_after_quit", "%s", WaitResult(WaitForSingleObject(mutex, 5000)));
  Observe("tray.window_gone", "%s", WindowBecomes(false));
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  // An ended program's file may still be held for a moment, as the installer expects.
  BOOL deleted = FALSE;
  for (int attempt = 0; attempt < 10 && !deleted; ++attempt) {
    deleted = DeleteFileW(kCompanion);
    if (!deleted) Sleep(100);
  }
  ObserveCall("tray.delete_after_end", deleted);
}

void ProbeVersionAndRunValue() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  BOOL known = GetVersionExA(&version);
  Observe("tray.version", "%s size %lu platform %lu major>=6 %s", known ? "ok" : "fail",
          Number(version.dwOSVersionInfoSize), Number(version.dwPlatformId),
          version.dwMajorVersion >= 6 ? "yes" : "no");
  OSVERSIONINFOA tooSmall = {};
  tooSmall.dwOSVersionInfoSize = 100;
  ObserveCall("tray.version_wrong_size", GetVersionExA(&tooSmall));

  // A Run value of 264 units without a terminator fills the installer's 528-byte read exactly.
  // The unit after the counted ones is not zero: a zero there would be stored as well.
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\vexaProbe", 0, nullptr, 0, KEY_ALL_ACCESS,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  WCHAR full[265];
  for (WCHAR& unit : full) unit = L'a';
  for (int terminated = 0; terminated < 2; ++terminated) {
    full[264] = terminated ? 0 : L'a';
    RegSetValueExW(key, L"vexaWriterTray", 0, REG_SZ, reinterpret_cast<const BYTE*>(full), 528);
    WCHAR read[265] = {};
    read[264] = L'z';
    DWORD bytes = 528;
    LSTATUS status = RegQueryValueExW(key, L"vexaWriterTray", nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(read), &bytes);
    Observe(terminated ? "tray.run_value_528_zero_after" : "tray.run_value_528",
            "%lu size %lu last %u after %u", Number(status), Number(bytes),
            static_cast<unsigned>(read[263]), static_cast<unsigned>(read[264]));
  }
  RegDeleteValueW(key, L"vexaWriterTray");
  RegCloseKey(key);
}

}  // namespace

void ProbeTrayContract() {
  ProbeMutexAlone();
  ProbeCompanion();
  ProbeVersionAndRunValue();
}
