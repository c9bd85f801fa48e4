// The custom actions of the MSI package (setup/vexaWriter.wxs). Each runs the installer of the
// installed copy, drv\zqvinst64.exe below the folder its CustomActionData names, as a deferred
// action in the system context, waits for it, and answers msiexec by the installer's exit code:
//   RunInstall    "install" once the files are in place (first install, repair, upgrade)
//   RunUninstall  "uninstall" before the files are removed (a removal, not an upgrade's:
//                 nothing is run while another version of the product stays installed)
//   StopCompanion "removetray" before an installed copy's files are replaced; never fails
//   UndoInstall   "uninstall" when a first install fails and rolls back: takes out what the
//                 failed "install" put into the spooler before msiexec removes the files
// The installer's log of the run is copied into the MSI log line by line.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "foundation/handles.h"
#include "run_log.h"

namespace {

struct MsiHandleTraits {
  using Handle = MSIHANDLE;
  static Handle Empty() { return 0; }
  static void Close(Handle handle) { MsiCloseHandle(handle); }
};
using UniqueMsiHandle = UniqueResource<MsiHandleTraits>;
struct HeapTextTraits {
  using Handle = char*;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle) { HeapFree(GetProcessHeap(), 0, handle); }
};
using UniqueHeapText = UniqueResource<HeapTextTraits>;

// The installer's longest run is about four minutes; a run still going after this is stuck.
const DWORD kInstallerTimeoutMs = 20 * 60 * 1000;
const DWORD kNotRun = 0xFFFFFFFF;

void LogLine(MSIHANDLE install, const WCHAR* text) {
  // Field 0 is the template: the text goes in field 1 so that brackets in it stay as written.
  UniqueMsiHandle record(MsiCreateRecord(1));
  if (!record) return;
  MsiRecordSetStringW(record.get(), 0, L"[1]");
  MsiRecordSetStringW(record.get(), 1, text);
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
}

void LogFormatted(MSIHANDLE install, const WCHAR* format, const WCHAR* text, DWORD number) {
  WCHAR line[MAX_PATH + 128];
  wsprintfW(line, format, text, number);
  LogLine(install, line);
}

// Copies the UTF-8 text into the MSI log, one message per line.
void CopyLog(MSIHANDLE install, const char* text, DWORD bytes) {
  WCHAR line[2048];
  DWORD start = 0;
  while (start < bytes) {
    DWORD end = start;
    while (end < bytes && text[end] != '\n') ++end;
    DWORD length = end - start;
    if (length > 0 && text[end - 1] == '\r') --length;
    int units = MultiByteToWideChar(CP_UTF8, 0, text + start, static_cast<int>(length), line,
                                    ARRAYSIZE(line) - 1);
    line[units] = L'\0';
    LogLine(install, line);
    start = end + 1;
  }
}

// Starts "<folder>drv\zqvinst64.exe MODE" and waits for it; kNotRun when it did not start or
// did not end in time.
DWORD RunInstaller(MSIHANDLE install, const WCHAR* folder, const WCHAR* mode) {
  WCHAR program[MAX_PATH];
  WCHAR commandLine[MAX_PATH + 32];
  if (lstrlenW(folder) + 20 >= MAX_PATH) return kNotRun;
  lstrcpyW(program, folder);
  if (program[0] != L'\0' && program[lstrlenW(program) - 1] != L'\\') lstrcatW(program, L"\\");
  lstrcatW(program, L"drv\\zqvinst64.exe");
  wsprintfW(commandLine, L"\"%s\" %s", program, mode);
  LogFormatted(install, L"vexaWriter: running %s", commandLine, 0);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                      &started)) {
    LogFormatted(install, L"vexaWriter: %s did not start, error %u", program, GetLastError());
    return kNotRun;
  }
  UniqueKernelHandle process(started.hProcess);
  UniqueKernelHandle thread(started.hThread);
  DWORD exitCode = kNotRun;
  if (WaitForSingleObject(process.get(), kInstallerTimeoutMs) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.get(), &exitCode)) {
    LogFormatted(install, L"vexaWriter: %s did not end in time", program, 0);
    return kNotRun;
  }
  return exitCode;
}

// Another version of the product that stays installed: the one an upgrade installed before
// removing this one. msiexec tells this version's removal so (UPGRADINGPRODUCTCODE) only where
// it passes the property on; the registration says so everywhere.
bool AnotherVersionInstalled(MSIHANDLE install, const WCHAR* upgradeCode,
                             const WCHAR* productCode) {
  WCHAR related[39];
  for (DWORD index = 0; MsiEnumRelatedProductsW(upgradeCode, 0, index, related) == ERROR_SUCCESS;
       ++index) {
    if (lstrcmpiW(related, productCode) != 0) {
      LogFormatted(install, L"vexaWriter: %s stays installed and keeps the printer", related, 0);
      return true;
    }
  }
  return false;
}

// CustomActionData: the install folder; for the removal "UPGRADECODE;PRODUCTCODE;FOLDER"; for
// the install "MODE;FOLDER", MODE "install" or "in_notray" (the package's NOTRAY=1).
UINT RunMode(MSIHANDLE install, const WCHAR* mode, bool mayFail) {
  WCHAR data[MAX_PATH + 80];
  DWORD length = ARRAYSIZE(data);
  if (MsiGetPropertyW(install, L"CustomActionData", data, &length) != ERROR_SUCCESS) {
    data[0] = L'\0';
  }
  const WCHAR* folder = data;
  if (lstrcmpW(mode, L"install") == 0) {
    WCHAR* separator = data;
    while (*separator != L'\0' && *separator != L';') ++separator;
    if (*separator != L';') return ERROR_INSTALL_FAILURE;
    *separator = L'\0';
    if (lstrcmpW(data, L"in_notray") == 0) {
      mode = L"in_notray";
    } else if (lstrcmpW(data, L"install") != 0) {
      return ERROR_INSTALL_FAILURE;
    }
    folder = separator + 1;
  }
  if (lstrcmpW(mode, L"uninstall") == 0) {
    if (length < 78 || data[38] != L';' || data[77] != L';') return ERROR_INSTALL_FAILURE;
    data[38] = data[77] = L'\0';
    if (AnotherVersionInstalled(install, data, data + 39)) return ERROR_SUCCESS;
    folder = data + 78;
  }
  LogSnapshot before;
  TakeLogSnapshot(&before);
  DWORD exitCode = RunInstaller(install, folder, mode);
  WCHAR logPath[MAX_PATH];
  DWORD bytes = 0;
  UniqueHeapText entry(ReadRunEntry(before, logPath, &bytes));
  if (entry) {
    LogFormatted(install, L"vexaWriter: the installer's log of this run (%s):", logPath, 0);
    CopyLog(install, entry.get(), bytes);
  } else if (exitCode != kNotRun && lstrcmpW(mode, L"removetray") != 0) {
    LogLine(install, L"vexaWriter: the installer wrote no log of this run");
  }
  if (exitCode != kNotRun) {
    LogFormatted(install, L"vexaWriter: zqvinst64.exe %s exit code %u", mode, exitCode);
  }
  if (mayFail) return ERROR_SUCCESS;
  switch (exitCode) {
    case 1:  // install done
    case 2:  // uninstall done
      return ERROR_SUCCESS;
    case 101:  // done; held files are replaced or deleted at the next restart
      MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
      return ERROR_SUCCESS;
    default:  // 100 (errors, the log says which) or no answer from the installer
      return ERROR_INSTALL_FAILURE;
  }
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall RunInstall(MSIHANDLE install) {
  return RunMode(install, L"install", false);
}

extern "C" __declspec(dllexport) UINT __stdcall RunUninstall(MSIHANDLE install) {
  return RunMode(install, L"uninstall", false);
}

extern "C" __declspec(dllexport) UINT __stdcall StopCompanion(MSIHANDLE install) {
  return RunMode(install, L"removetray", true);
}

extern "C" __declspec(dllexport) UINT __stdcall UndoInstall(MSIHANDLE install) {
  return RunMode(install, L"uninstall", true);
}
