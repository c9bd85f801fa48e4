// The custom actions of the MSI package (setup/vexaWriter.wxs). Each deferred one runs the
// installer of the installed copy, drv\zqvinst64.exe below the folder its CustomActionData
// names, in the system context, waits for it, and answers msiexec by the installer's exit code:
//   RunInstall    "install" once the files are in place (first install, repeated install,
//                 repair, upgrade)
//   RunUninstall  "uninstall" before the files are removed (a removal, not an upgrade's:
//                 nothing is run while another version of the product stays installed)
//   StopCompanion "removetray" before Windows Installer replaces an installed copy's files;
//                 the companion's file stays for Windows Installer to replace; never fails
//   UndoInstall   "uninstall" when a first install fails and rolls back, only when nothing of
//                 ours was there before it began (FindOurs, immediate, found that out)
// When each runs is in msi_decisions.cpp. The installer's log of the run arrives on a pipe the
// action hands it as its standard output, and goes into the MSI log line by line.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <winspool.h>

#include "foundation/handles.h"
#include "foundation/product.h"
#include "msi_decisions.h"
#include "spooler/two_call.h"

namespace {

struct MsiHandleTraits {
  using Handle = MSIHANDLE;
  static Handle Empty() { return 0; }
  static void Close(Handle handle) { MsiCloseHandle(handle); }
};
using UniqueMsiHandle = UniqueResource<MsiHandleTraits>;
struct HeapBlockTraits {
  using Handle = void*;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle) { HeapFree(GetProcessHeap(), 0, handle); }
};
using UniqueHeapBlock = UniqueResource<HeapBlockTraits>;

const DWORD kWaitSliceMs = 100;
// Room for what the installer writes between two reads (a run over many printers writes its
// lines fast; it never waits for a full pipe, so what does not fit would be lost).
const DWORD kPipeBytes = 1024 * 1024;
const WCHAR kFoundBeforeProperty[] = L"VexaFoundBefore";
const WCHAR kRecordsKey[] = L"Software\\Morvane Software KFT\\vexaWriter\\SavedPrinters";

void LogLine(MSIHANDLE install, const WCHAR* text) {
  // Field 0 is the template: the text goes in field 1 so that brackets in it stay as written.
  UniqueMsiHandle record(MsiCreateRecord(1));
  if (!record) return;
  MsiRecordSetStringW(record.get(), 0, L"[1]");
  MsiRecordSetStringW(record.get(), 1, text);
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
}

void LogFormatted(MSIHANDLE install, const WCHAR* format, const WCHAR* text, DWORD number) {
  WCHAR line[MAX_PATH + 160];
  wsprintfW(line, format, text, number);
  LogLine(install, line);
}

struct LogCopy {
  MSIHANDLE install;
  bool started;
};

void CopyLine(void* context, const char* line, uint32_t bytes) {
  auto* copy = static_cast<LogCopy*>(context);
  if (!copy->started) {
    LogLine(copy->install, L"vexaWriter: the installer's log of this run:");
    copy->started = true;
  }
  WCHAR text[2049];
  int units = bytes == 0 ? 0
                         : MultiByteToWideChar(CP_UTF8, 0, line, static_cast<int>(bytes), text,
                                               ARRAYSIZE(text) - 1);
  text[units] = L'\0';
  LogLine(copy->install, text);
}

class StartedProgram : public RunningProgram {
 public:
  StartedProgram(HANDLE process, HANDLE output) : process_(process), output_(output) {}
  bool WaitForEnd(uint32_t ms) override {
    return WaitForSingleObject(process_, ms) == WAIT_OBJECT_0;
  }
  uint32_t ReadAvailable(char* buffer, uint32_t size) override {
    DWORD available = 0;
    DWORD read = 0;
    if (!PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr) || available == 0 ||
        !ReadFile(output_, buffer, available < size ? available : size, &read, nullptr)) {
      return 0;
    }
    return read;
  }

 private:
  HANDLE process_;
  HANDLE output_;
};

// The list of handles a started program inherits: exactly the pipe's write end, so that
// nothing else msiexec's process may have left inheritable reaches the program.
class InheritOnly {
 public:
  explicit InheritOnly(HANDLE* handle) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    block_.reset(HeapAlloc(GetProcessHeap(), 0, size));
    auto* list = static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(block_.get());
    if (!block_ || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    initialized_ = true;
    if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handle,
                                  sizeof(*handle), nullptr, nullptr)) {
      list_ = list;
    }
  }
  ~InheritOnly() {
    if (initialized_) {
      DeleteProcThreadAttributeList(static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(block_.get()));
    }
  }
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  UniqueHeapBlock block_;
  bool initialized_ = false;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

struct RunResult {
  DWORD exitCode = kNoExitCode;
  bool lockRefused = false;
};

// Starts "<folder>drv\zqvinst64.exe MODE" with a pipe as its standard output, copies what it
// writes there into the MSI log while waiting for it, at most the published bound of the mode.
RunResult RunInstaller(MSIHANDLE install, const WCHAR* folder, const WCHAR* mode,
                       const char* modeName) {
  RunResult result;
  WCHAR program[MAX_PATH];
  WCHAR commandLine[MAX_PATH + 32];
  if (lstrlenW(folder) + 20 >= MAX_PATH) return result;
  lstrcpyW(program, folder);
  if (program[0] != L'\0' && program[lstrlenW(program) - 1] != L'\\') lstrcatW(program, L"\\");
  lstrcatW(program, L"drv\\zqvinst64.exe");
  wsprintfW(commandLine, L"\"%s\" %s", program, mode);
  LogFormatted(install, L"vexaWriter: running %s", commandLine, 0);

  // Only the write end is inheritable; the read end stays in this process.
  SECURITY_ATTRIBUTES notInherited = {sizeof(notInherited), nullptr, FALSE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &notInherited, kPipeBytes)) {
    LogFormatted(install, L"vexaWriter: %s not started: no pipe, error %u", program,
                 GetLastError());
    return result;
  }
  UniqueKernelHandle output(readEnd);
  UniqueKernelHandle input(writeEnd);
  SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  InheritOnly inherit(&writeEnd);
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = inherit.get() ? sizeof(startup) : sizeof(startup.StartupInfo);
  startup.lpAttributeList = inherit.get();
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdOutput = writeEnd;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(program, commandLine, nullptr, nullptr, TRUE,
                      inherit.get() ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr, folder,
                      &startup.StartupInfo, &started)) {
    LogFormatted(install, L"vexaWriter: %s did not start, error %u", program, GetLastError());
    return result;
  }
  input.reset();  // the program holds the only write end now
  UniqueKernelHandle process(started.hProcess);
  UniqueKernelHandle thread(started.hThread);

  StartedProgram running(process.get(), output.get());
  LogCopy copy = {install, false};
  LogLines lines(CopyLine, &copy);
  DWORD bound = WaitBoundMs(modeName);
  bool ended = WaitAndRead(running, bound, kWaitSliceMs, lines);
  result.lockRefused = lines.LockRefused();
  if (!ended) {
    WCHAR line[160];
    wsprintfW(line,
              L"vexaWriter: zqvinst64.exe %s did not end within %u ms, the longest a run of this "
              L"mode can take: no longer waited for",
              mode, bound);
    LogLine(install, line);
    return result;
  }
  if (!GetExitCodeProcess(process.get(), &result.exitCode)) result.exitCode = kNoExitCode;
  if (!copy.started && lstrcmpW(mode, L"removetray") != 0) {
    LogLine(install, L"vexaWriter: the installer wrote no log of this run");
  }
  if (result.exitCode != kNoExitCode) {
    LogFormatted(install, L"vexaWriter: zqvinst64.exe %s exit code %u", mode, result.exitCode);
  }
  return result;
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

// Cuts the next ';'-separated field off `rest`; null when there is none.
WCHAR* NextField(WCHAR** rest) {
  WCHAR* field = *rest;
  WCHAR* end = field;
  while (*end != L'\0' && *end != L';') ++end;
  if (*end != L';') return nullptr;
  *end = L'\0';
  *rest = end + 1;
  return field;
}

// Narrow copy of an ASCII keyword, for the decisions shared with the host tests.
void Narrow(const WCHAR* text, char (&narrow)[16]) {
  int i = 0;
  for (; text[i] != L'\0' && i + 1 < 16; ++i) narrow[i] = static_cast<char>(text[i]);
  narrow[i] = '\0';
}

// CustomActionData: the install folder; for "install" "MODE;FOLDER", MODE "install" or
// "in_notray" (the package's NOTRAY=1); for "uninstall" "UPGRADECODE;PRODUCTCODE;FOLDER", for the
// rollback "FOUND;UPGRADECODE;PRODUCTCODE;FOLDER" (FOUND: see FindOurs).
UINT RunMode(MSIHANDLE install, const WCHAR* mode, bool rollback, bool mayFail) {
  WCHAR data[MAX_PATH + 100];
  DWORD length = ARRAYSIZE(data);
  if (MsiGetPropertyW(install, L"CustomActionData", data, &length) != ERROR_SUCCESS) {
    data[0] = L'\0';
  }
  WCHAR* folder = data;
  if (rollback) {
    WCHAR* found = NextField(&folder);
    char foundNarrow[16];
    Narrow(found ? found : L"", foundNarrow);
    if (!RollbackMayUninstall(foundNarrow)) {
      LogLine(install,
              L"vexaWriter: our printer was there before this install began: the rollback "
              L"leaves the printers, their settings and the saved records as they are");
      return ERROR_SUCCESS;
    }
  }
  if (lstrcmpW(mode, L"install") == 0) {
    WCHAR* chosen = NextField(&folder);
    if (chosen == nullptr) return ERROR_INSTALL_FAILURE;
    if (lstrcmpW(chosen, L"in_notray") == 0) {
      mode = L"in_notray";
    } else if (lstrcmpW(chosen, L"install") != 0) {
      return ERROR_INSTALL_FAILURE;
    }
  }
  if (lstrcmpW(mode, L"uninstall") == 0) {
    WCHAR* upgradeCode = NextField(&folder);
    WCHAR* productCode = upgradeCode ? NextField(&folder) : nullptr;
    if (productCode == nullptr) return mayFail ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
    if (AnotherVersionInstalled(install, upgradeCode, productCode)) return ERROR_SUCCESS;
  }
  // The companion's file belongs to Windows Installer, which replaces it next: held open
  // without delete sharing, it stays while "removetray" stops the companion.
  UniqueFile companion;
  if (lstrcmpW(mode, L"removetray") == 0 && lstrlenW(folder) + 13 < MAX_PATH) {
    WCHAR path[MAX_PATH];
    lstrcpyW(path, folder);
    if (path[0] != L'\0' && path[lstrlenW(path) - 1] != L'\\') lstrcatW(path, L"\\");
    lstrcatW(path, L"vextray.exe");
    companion.reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  }
  char modeName[16];
  Narrow(mode, modeName);
  RunResult run = RunInstaller(install, folder, mode, modeName);
  if (mayFail) return ERROR_SUCCESS;
  bool restart = false;
  UINT answer = ActionAnswer(run.exitCode, run.lockRefused, &restart);
  if (restart) MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
  if (answer == kAnotherInstallRuns) {
    LogLine(install,
            L"vexaWriter: another run of the installer kept the run lock: answering 1618, "
            L"another installation is in progress");
  }
  return answer;
}

// The spooler's records of one listing; `listed` is false when it could not be read.
template <typename Query>
TwoCallResult List(Query query, bool* listed) {
  TwoCallResult result = FetchSpoolerRecords(query);
  *listed =
      result.outcome == TwoCallOutcome::Filled || result.outcome == TwoCallOutcome::NothingToList;
  return result;
}

// Whether a record of the listing has our name in one of the fields `names` picks.
template <typename Record, typename Names>
bool AnyOurs(const TwoCallResult& listing, Names names) {
  auto* records = static_cast<const Record*>(listing.block.get());
  for (DWORD i = 0; i < listing.count; ++i) {
    if (names(records[i])) return true;
  }
  return false;
}

bool Is(const WCHAR* name, const WCHAR* ours) {
  return name != nullptr && lstrcmpiW(name, ours) == 0;
}

// What of ours is there now: null when nothing, else what was found first; `known` is false
// when a list could not be read.
const WCHAR* OursPresent(bool* known) {
  *known = false;
  bool listed = false;
  TwoCallResult monitors =
      List([](LPBYTE list, DWORD size, DWORD* needed,
              DWORD* count) { return EnumMonitorsW(nullptr, 1, list, size, needed, count); },
           &listed);
  if (!listed) return nullptr;
  if (AnyOurs<MONITOR_INFO_1W>(monitors, [](const MONITOR_INFO_1W& monitor) {
        return Is(monitor.pName, kMonitorName);
      })) {
    return (*known = true, L"the monitor");
  }
  TwoCallResult drivers = List(
      [](LPBYTE list, DWORD size, DWORD* needed, DWORD* count) {
        return EnumPrinterDriversW(nullptr, const_cast<WCHAR*>(L"Windows x64"), 1, list, size,
                                   needed, count);
      },
      &listed);
  if (!listed) return nullptr;
  if (AnyOurs<DRIVER_INFO_1W>(
          drivers, [](const DRIVER_INFO_1W& driver) { return Is(driver.pName, kDriverName); })) {
    return (*known = true, L"the driver");
  }
  TwoCallResult printers = List(
      [](LPBYTE list, DWORD size, DWORD* needed, DWORD* count) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, list, size, needed, count);
      },
      &listed);
  if (!listed) return nullptr;
  if (AnyOurs<PRINTER_INFO_2W>(printers, [](const PRINTER_INFO_2W& printer) {
        return Is(printer.pDriverName, kDriverName) || Is(printer.pPortName, kMonitorName);
      })) {
    return (*known = true, L"a printer");
  }
  UniqueRegistryKey records;
  LONG status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRecordsKey, 0, KEY_READ | KEY_WOW64_64KEY, records.put());
  if (status == ERROR_FILE_NOT_FOUND) return (*known = true, nullptr);
  DWORD keys = 0;
  DWORD values = 0;
  if (status != ERROR_SUCCESS ||
      RegQueryInfoKeyW(records.get(), nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  *known = true;
  return keys + values != 0 ? L"a saved printer record" : nullptr;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall RunInstall(MSIHANDLE install) {
  return RunMode(install, L"install", false, false);
}

extern "C" __declspec(dllexport) UINT __stdcall RunUninstall(MSIHANDLE install) {
  return RunMode(install, L"uninstall", false, false);
}

extern "C" __declspec(dllexport) UINT __stdcall StopCompanion(MSIHANDLE install) {
  return RunMode(install, L"removetray", false, true);
}

extern "C" __declspec(dllexport) UINT __stdcall UndoInstall(MSIHANDLE install) {
  return RunMode(install, L"uninstall", true, true);
}

// Immediate, before a first install: notes for its rollback whether anything of ours was
// there already (an installation by another setup or an older build). What cannot be read
// counts as found: the rollback then changes nothing.
extern "C" __declspec(dllexport) UINT __stdcall FindOurs(MSIHANDLE install) {
  bool known = false;
  const WCHAR* found = OursPresent(&known);
  bool nothing = known && found == nullptr;
  MsiSetPropertyW(install, kFoundBeforeProperty, nothing ? L"none" : L"found");
  if (nothing) {
    LogLine(install, L"vexaWriter: nothing of ours is installed: a rollback runs uninstall");
  } else {
    LogFormatted(install,
                 L"vexaWriter: before this install: %s of ours; a rollback leaves the printers, "
                 L"their settings and the saved records as they are",
                 found ? found : L"what the spooler holds is not known", 0);
  }
  return ERROR_SUCCESS;
}
