// Staging and probe verbs: they put the pieces of an installation in place as the installer
// would have left them, or call one spooler operation and print its outcome.
#include <windows.h>
#include <winspool.h>

#include <stdio.h>

#include "spool_tool.h"

namespace spool_tool {
namespace {

// Wide text as 8-bit text in a fixed buffer (printer data and registry paths are 8-bit).
void Narrow(const WCHAR* text, char* out, int capacity) {
  out[0] = 0;
  WideCharToMultiByte(CP_ACP, 0, text, -1, out, capacity, nullptr, nullptr);
}

// "key=value" options after the fixed arguments.
const WCHAR* Option(int argc, WCHAR** argv, const WCHAR* key) {
  for (int i = 0; i < argc; ++i) {
    const WCHAR* argument = argv[i];
    const WCHAR* name = key;
    while (*name != 0 && *argument == *name) {
      ++argument;
      ++name;
    }
    if (*name == 0 && *argument == L'=') return argument + 1;
  }
  return nullptr;
}

bool Flag(int argc, WCHAR** argv, const WCHAR* flag) {
  for (int i = 0; i < argc; ++i) {
    if (lstrcmpW(argv[i], flag) == 0) return true;
  }
  return false;
}

void PrintOutcome(const char* verb, bool ok) {
  if (ok) {
    printf("%s ok\n", verb);
  } else {
    printf("%s error %lu\n", verb, GetLastError());
  }
  fflush(stdout);
}

bool StageMonitor(WCHAR** argv) {
  MONITOR_INFO_2W info = {argv[0], const_cast<WCHAR*>(kEnvironment), argv[1]};
  return AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info)) || Fail(L"AddMonitorW");
}

// Wine's spooler copies a driver's files from the printer-driver directory, as the installer
// stages them: the files are copied there first and the staged copies deleted afterwards.
bool StageDriver(int argc, WCHAR** argv) {
  WCHAR environment[] = L"Windows x64";
  WCHAR directory[MAX_PATH];
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, environment, 1, reinterpret_cast<BYTE*>(directory),
                                  sizeof(directory), &needed)) {
    return Fail(L"GetPrinterDriverDirectoryW");
  }
  WCHAR staged[3][MAX_PATH] = {};
  for (int i = 0; i + 1 < argc; ++i) {
    const WCHAR* name = argv[i + 1];
    for (const WCHAR* c = argv[i + 1]; *c != 0; ++c) {
      if (*c == L'\\') name = c + 1;
    }
    wsprintfW(staged[i], L"%s\\%s", directory, name);
    if (!CopyFileW(argv[i + 1], staged[i], FALSE)) return Fail(L"CopyFileW");
  }
  DRIVER_INFO_3W info = {};
  info.cVersion = 3;
  info.pName = argv[0];
  info.pEnvironment = environment;
  info.pDriverPath = staged[0];
  info.pDataFile = staged[0];
  info.pConfigFile = staged[1];
  info.pHelpFile = argc > 3 ? staged[2] : nullptr;
  bool ok = AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_ALL_FILES) ||
            Fail(L"AddPrinterDriverExW");
  for (int i = 0; i + 1 < argc; ++i) DeleteFileW(staged[i]);
  return ok;
}

bool SetSubKey(HANDLE printer, const WCHAR* subKey) {
  char value[260];
  Narrow(subKey, value, 260);
  DWORD size = lstrlenA(value) + 1;
  auto* data = reinterpret_cast<BYTE*>(value);
  return (SetPrinterDataA(printer, const_cast<char*>("SubKey"), REG_SZ, data, size) ==
              ERROR_SUCCESS &&
          SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, data, size) == ERROR_SUCCESS) ||
         Fail(L"SetPrinterDataA SubKey");
}

// Adds the printer with the given settings; the data type is "RAW" unless "nulltype" asks for
// the null data type, which only the forwarder turns into a working printer on Wine.
bool StagePrinter(int argc, WCHAR** argv) {
  WCHAR raw[] = L"RAW";
  WCHAR processor[] = L"WinPrint";
  WCHAR empty[] = L"";
  PRINTER_INFO_2W info = {};
  info.pPrinterName = argv[0];
  info.pPortName = argv[1];
  info.pDriverName = argv[2];
  info.pPrintProcessor = processor;
  info.pDatatype = Flag(argc, argv, L"nulltype") ? nullptr : raw;
  const WCHAR* comment = Option(argc, argv, L"comment");
  const WCHAR* location = Option(argc, argv, L"location");
  info.pComment = comment != nullptr ? const_cast<WCHAR*>(comment) : empty;
  info.pLocation = const_cast<WCHAR*>(location);
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (printer == nullptr) return Fail(L"AddPrinterW");
  const WCHAR* subKey = Option(argc, argv, L"subkey");
  bool ok = subKey == nullptr || SetSubKey(printer, subKey);
  ClosePrinter(printer);
  if (Flag(argc, argv, L"default")) ok = (SetDefault(argv[0]) || Fail(L"set default")) && ok;
  return ok;
}

// A print server's worth of printers: "vexaWriter FIRST" to "vexaWriter LAST" on the port, each
// with its own comment, location and settings key; "vexaWriter 1" is the default.
bool StagePrinters(WCHAR** argv) {
  int first = _wtoi(argv[0]);
  int last = _wtoi(argv[1]);
  const WCHAR* port = argv[2];
  const WCHAR* driver = argv[3];
  bool ok = first > 0 && last >= first;
  for (int i = first; i <= last && ok; ++i) {
    WCHAR name[32], comment[40], location[40], subKey[40];
    wsprintfW(name, L"vexaWriter %d", i);
    wsprintfW(comment, L"comment=queue %d", i);
    wsprintfW(location, L"location=floor %d", i);
    wsprintfW(subKey, L"subkey=key-%d", i);
    WCHAR* arguments[] = {
        name,   const_cast<WCHAR*>(port),      const_cast<WCHAR*>(driver), comment, location,
        subKey, const_cast<WCHAR*>(L"default")};
    ok = StagePrinter(i == 1 ? 7 : 6, arguments);
  }
  return ok;
}

bool Mark(const WCHAR* subKey) {
  char path[512];
  char name[260];
  Narrow(subKey, name, 260);
  wsprintfA(path, "%s\\%s", kUserKeys, name);
  HKEY key = nullptr;
  DWORD one = 1;
  bool ok = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) == ERROR_SUCCESS &&
            RegSetValueExA(key, "deleted", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one),
                           sizeof(one)) == ERROR_SUCCESS;
  if (key != nullptr) RegCloseKey(key);
  return ok || Fail(L"mark");
}

bool RunValue(const WCHAR* path) {
  HKEY key = nullptr;
  bool ok = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) == ERROR_SUCCESS &&
            RegSetValueExW(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                           (lstrlenW(path) + 1) * sizeof(WCHAR)) == ERROR_SUCCESS;
  if (key != nullptr) RegCloseKey(key);
  return ok || Fail(L"run-value");
}

bool Start(const WCHAR* path) {
  WCHAR commandLine[MAX_PATH + 3];
  wsprintfW(commandLine, L"\"%s\"", path);
  // No standard handles: the program outlives this one and must not keep a caller's pipe open.
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return Fail(L"CreateProcessW");
  }
  // Ready once the companion's window exists, so that the next step finds it running.
  for (int poll = 0; poll < 100 && FindWindowW(kTrayClass, nullptr) == nullptr; ++poll) Sleep(50);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool WithPrinter(const WCHAR* name, DWORD access, bool (*action)(HANDLE)) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<WCHAR*>(name), &printer, &defaults)) return Fail(L"OpenPrinterW");
  bool ok = action(printer);
  ClosePrinter(printer);
  return ok;
}

bool Purge(HANDLE printer) {
  PrintOutcome("purge", SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE));
  return true;
}

bool DeleteOne(HANDLE printer) {
  return DeletePrinter(printer) || Fail(L"DeletePrinter");
}

}  // namespace

bool StageVerb(const WCHAR* verb, int argc, WCHAR** argv, bool* known) {
  *known = true;
  if (lstrcmpW(verb, L"add-monitor") == 0 && argc == 2) return StageMonitor(argv);
  if (lstrcmpW(verb, L"add-driver") == 0 && (argc == 3 || argc == 4))
    return StageDriver(argc, argv);
  if (lstrcmpW(verb, L"add-printer") == 0 && argc >= 3) return StagePrinter(argc, argv);
  if (lstrcmpW(verb, L"add-printers") == 0 && argc == 4) return StagePrinters(argv);
  if (lstrcmpW(verb, L"mark") == 0 && argc == 1) return Mark(argv[0]);
  if (lstrcmpW(verb, L"run-value") == 0 && argc == 1) return RunValue(argv[0]);
  if (lstrcmpW(verb, L"start") == 0 && argc == 1) return Start(argv[0]);
  if (lstrcmpW(verb, L"set-default") == 0 && argc == 1) {
    return SetDefault(argv[0]) || Fail(L"set default");
  }
  if (lstrcmpW(verb, L"purge") == 0 && argc == 1) {
    return WithPrinter(argv[0], PRINTER_ALL_ACCESS, Purge);
  }
  if (lstrcmpW(verb, L"delete-printer") == 0 && argc == 1) {
    return WithPrinter(argv[0], PRINTER_ALL_ACCESS, DeleteOne);
  }
  if (lstrcmpW(verb, L"delete-driver") == 0 && argc == 2) {
    WCHAR environment[] = L"Windows x64";
    PrintOutcome("delete-driver",
                 DeletePrinterDriverExW(nullptr, environment, argv[0], _wtoi(argv[1]), 0));
    return true;
  }
  *known = false;
  return false;
}

}  // namespace spool_tool
