// bare_calls.exe install|uninstall|reinstall PACKAGE_DRV_DIR: makes the spooler, service,
// registry and file calls a clean install (or an uninstall of that install, or an install over
// an installation with printers of ours: each printer's settings key is read, the printer deleted
// and added again with its settings, comment, location and default) makes, in the same order and
// with the same arguments, and waits only where the installer's design mandates it: the pause
// when the companion's Run value is missing, and the 200 ms polls of the spooler's start when
// it is found stopped and of the restart that follows a refused driver deletion (the outcomes
// that change which calls come next). No log, no other checks of results: the yardstick the
// Wine benchmark measures the installer against. Always exits 0.
#include <windows.h>
#include <winspool.h>

namespace {

const char kTrayMutex[] = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
WCHAR kEnvironment[] = L"Windows x64";
WCHAR kMonitor[] = L"vexaWriter:";
WCHAR kMonitorDll[] = L"zqvmon64.dll";
WCHAR kDriver[] = L"vexaWriter printer";
WCHAR kPrinter[] = L"vexaWriter";
constexpr DWORD kNoRunValuePauseMs = 1000;
constexpr DWORD kSpoolerPollMs = 200;
constexpr int kSpoolerPolls = 50;

BYTE g_buffer[256 * 1024];
BYTE g_printers[4 * 1024 * 1024];

void StopTray() {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kTrayMutex);
  if (mutex != nullptr) CloseHandle(mutex);
  HKEY run = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS, &run) != ERROR_SUCCESS) return;
  WCHAR path[265];
  DWORD bytes = 264 * sizeof(WCHAR);
  if (RegQueryValueExW(run, L"vexaWriterTray", nullptr, nullptr, reinterpret_cast<BYTE*>(path),
                       &bytes) != ERROR_SUCCESS) {
    Sleep(kNoRunValuePauseMs);
  }
  RegDeleteValueA(run, "vexaWriterTray");
  RegCloseKey(run);
}

void WaitForState(SC_HANDLE service, DWORD wanted) {
  SERVICE_STATUS status = {};
  QueryServiceStatus(service, &status);
  for (int poll = 0; poll < kSpoolerPolls && status.dwCurrentState != wanted; ++poll) {
    Sleep(kSpoolerPollMs);
    QueryServiceStatus(service, &status);
  }
}

// A spooler that is not running is started and polled until it runs.
void CheckSpooler() {
  SC_HANDLE manager =
      OpenSCManagerW(nullptr, nullptr, STANDARD_RIGHTS_REQUIRED | SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceW(manager, L"spooler", SERVICE_START | SERVICE_QUERY_STATUS);
  SERVICE_STATUS status = {};
  if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING) {
    StartServiceW(service, 0, nullptr);
    WaitForState(service, SERVICE_RUNNING);
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

void RestartSpooler() {
  SC_HANDLE manager =
      OpenSCManagerW(nullptr, nullptr, STANDARD_RIGHTS_REQUIRED | SC_MANAGER_CONNECT);
  SC_HANDLE service =
      OpenServiceW(manager, L"spooler", SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS);
  SERVICE_STATUS status = {};
  ControlService(service, SERVICE_CONTROL_STOP, &status);
  WaitForState(service, SERVICE_STOPPED);
  StartServiceW(service, 0, nullptr);
  WaitForState(service, SERVICE_RUNNING);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

void ListEverything() {
  DWORD needed = 0, count = 0;
  EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count);
  EnumMonitorsW(nullptr, 2, g_buffer, sizeof(g_buffer), &needed, &count);
  EnumPrinterDriversW(nullptr, kEnvironment, 6, nullptr, 0, &needed, &count);
  EnumPrinterDriversW(nullptr, kEnvironment, 6, g_buffer, sizeof(g_buffer), &needed, &count);
  EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed,
                &count);
  EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, g_buffer,
                sizeof(g_buffer), &needed, &count);
}

void Path(WCHAR* out, const WCHAR* directory, const WCHAR* name) {
  lstrcpyW(out, directory);
  lstrcatW(out, L"\\");
  lstrcatW(out, name);
}

// Copies the driver's three files into the driver directory and adds the driver.
void InstallDriver(const WCHAR* package, const WCHAR* driverDir) {
  WCHAR from[MAX_PATH];
  WCHAR driverFiles[3][MAX_PATH];
  const WCHAR* names[3] = {L"zqvdrv64.dll", L"zqvui64.dll", L"zqvhelp.chm"};
  for (int i = 0; i < 3; ++i) {
    Path(from, package, names[i]);
    Path(driverFiles[i], driverDir, names[i]);
    CopyFileW(from, driverFiles[i], FALSE);
  }
  DRIVER_INFO_6W driver = {};
  driver.cVersion = 3;
  driver.pName = kDriver;
  driver.pEnvironment = kEnvironment;
  driver.pDriverPath = driver.pDataFile = driverFiles[0];
  driver.pConfigFile = driverFiles[1];
  driver.pHelpFile = driverFiles[2];
  AddPrinterDriverExW(nullptr, 6, reinterpret_cast<BYTE*>(&driver), APD_COPY_ALL_FILES);
}

void Install(const WCHAR* package) {
  WCHAR system[MAX_PATH], driverDir[MAX_PATH], from[MAX_PATH], to[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  DWORD needed = 0;
  GetPrinterDriverDirectoryW(nullptr, kEnvironment, 1, reinterpret_cast<BYTE*>(driverDir),
                             sizeof(driverDir), &needed);
  StopTray();
  ListEverything();
  DeleteMonitorW(nullptr, kEnvironment, kMonitor);
  Path(from, package, kMonitorDll);
  Path(to, system, kMonitorDll);
  CopyFileW(from, to, FALSE);
  MONITOR_INFO_2W monitor = {kMonitor, kEnvironment, kMonitorDll};
  AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&monitor));
  InstallDriver(package, driverDir);
  DWORD count = 0;
  EnumMonitorsW(nullptr, 2, g_buffer, sizeof(g_buffer), &needed, &count);
  PRINTER_INFO_2W printer = {};
  printer.pPrinterName = kPrinter;
  printer.pPortName = kMonitor;
  printer.pDriverName = kDriver;
  printer.pComment = const_cast<LPWSTR>(L"");
  printer.pPrintProcessor = const_cast<LPWSTR>(L"WinPrint");
  HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&printer));
  if (added != nullptr) ClosePrinter(added);
}

void Uninstall() {
  WCHAR system[MAX_PATH], path[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  StopTray();
  ListEverything();
  HANDLE printer = nullptr;
  if (OpenPrinterW(kPrinter, &printer, nullptr)) {
    DWORD type = 0, needed = 0;
    GetPrinterDataA(printer, const_cast<LPSTR>("SubKey"), &type, g_buffer, 260, &needed);
    GetPrinterDataExA(printer, "DsUser", "SubKey", &type, g_buffer, 260, &needed);
    ClosePrinter(printer);
  }
  PRINTER_DEFAULTSW access = {nullptr, nullptr, DELETE | PRINTER_ACCESS_ADMINISTER};
  if (OpenPrinterW(kPrinter, &printer, &access)) {
    SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE);
    DeletePrinter(printer);
    ClosePrinter(printer);
  }
  if (!DeletePrinterDriverExW(nullptr, kEnvironment, kDriver, DPD_DELETE_ALL_FILES, 0)) {
    RestartSpooler();
    DeletePrinterDriverExW(nullptr, kEnvironment, kDriver, DPD_DELETE_ALL_FILES, 0);
  }
  DeleteMonitorW(nullptr, kEnvironment, kMonitor);
  Path(path, system, kMonitorDll);
  DeleteFileW(path);
}

// What the reinstall keeps of a printer of ours between its deletion and its return.
struct Saved {
  PRINTER_INFO_2W* record;
  char subKey[260];
  bool isDefault;
};
Saved g_saved[2000];

DWORD SavePrinters(const WCHAR* defaultName) {
  DWORD needed = 0, count = 0, saved = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed,
                &count);
  EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, g_printers,
                sizeof(g_printers), &needed, &count);
  auto* records = reinterpret_cast<PRINTER_INFO_2W*>(g_printers);
  for (DWORD i = 0; i < count && saved < 2000; ++i) {
    if (lstrcmpW(records[i].pDriverName, kDriver) != 0) continue;
    Saved& entry = g_saved[saved++];
    entry.record = &records[i];
    entry.isDefault = lstrcmpW(records[i].pPrinterName, defaultName) == 0;
    HANDLE printer = nullptr;
    if (OpenPrinterW(records[i].pPrinterName, &printer, nullptr)) {
      DWORD type = 0;
      GetPrinterDataA(printer, const_cast<LPSTR>("SubKey"), &type,
                      reinterpret_cast<BYTE*>(entry.subKey), 260, &needed);
      ClosePrinter(printer);
    }
    PRINTER_DEFAULTSW access = {nullptr, nullptr, DELETE | PRINTER_ACCESS_ADMINISTER};
    if (OpenPrinterW(records[i].pPrinterName, &printer, &access)) {
      SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE);
      DeletePrinter(printer);
      ClosePrinter(printer);
    }
  }
  return saved;
}

void RestorePrinter(const Saved& entry) {
  DWORD needed = 0, count = 0;
  EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count);
  EnumMonitorsW(nullptr, 2, g_buffer, sizeof(g_buffer), &needed, &count);
  PRINTER_INFO_2W info = {};
  info.pPrinterName = entry.record->pPrinterName;
  info.pPortName = kMonitor;
  info.pDriverName = kDriver;
  info.pComment = const_cast<LPWSTR>(L"");
  info.pPrintProcessor = const_cast<LPWSTR>(L"WinPrint");
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (printer == nullptr) return;
  DWORD bytes = lstrlenA(entry.subKey) + 1;
  auto* subKey = reinterpret_cast<BYTE*>(const_cast<char*>(entry.subKey));
  SetPrinterDataA(printer, const_cast<LPSTR>("SubKey"), REG_SZ, subKey, bytes);
  SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, subKey, bytes);
  char key[300] = "Software\\Morvane Software KFT\\vexaWriter\\vexaWriters\\";
  DWORD type = 0;
  GetPrinterDataA(printer, const_cast<LPSTR>("SubKey"), &type,
                  reinterpret_cast<BYTE*>(key + lstrlenA(key)), 260, &needed);
  HKEY settings = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &settings) == ERROR_SUCCESS) {
    RegDeleteValueA(settings, "deleted");
    RegCloseKey(settings);
  }
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  if (GetPrinterW(printer, 2, g_buffer, sizeof(g_buffer), &needed)) {
    auto* current = reinterpret_cast<PRINTER_INFO_2W*>(g_buffer);
    current->pComment = entry.record->pComment;
    current->pLocation = entry.record->pLocation;
    SetPrinterW(printer, 2, g_buffer, 0);
    if (entry.isDefault) SetDefaultPrinterW(current->pPrinterName);
  }
  ClosePrinter(printer);
}

void StartTray(const WCHAR* package) {
  WCHAR tray[MAX_PATH], commandLine[MAX_PATH + 2];
  lstrcpyW(tray, package);
  for (int i = lstrlenW(tray) - 1; i > 0 && tray[i] != L'\\'; --i) tray[i] = 0;
  lstrcatW(tray, L"vextray.exe");
  HKEY run = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS, &run) == ERROR_SUCCESS) {
    RegSetValueExW(run, L"vexaWriterTray", 0, REG_SZ, reinterpret_cast<const BYTE*>(tray),
                   (lstrlenW(tray) + 1) * sizeof(WCHAR));
    RegCloseKey(run);
  }
  wsprintfW(commandLine, L"\"%s\"", tray);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

// An install over an installation: its printers are saved and deleted, the driver replaced
// (the monitor, of a supported build, stays), the printers added again, the companion started.
void Reinstall(const WCHAR* package) {
  WCHAR system[MAX_PATH], driverDir[MAX_PATH], defaultName[256] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  DWORD needed = 0, size = 256;
  GetPrinterDriverDirectoryW(nullptr, kEnvironment, 1, reinterpret_cast<BYTE*>(driverDir),
                             sizeof(driverDir), &needed);
  GetDefaultPrinterW(defaultName, &size);
  StopTray();
  ListEverything();
  DWORD saved = SavePrinters(defaultName);
  if (!DeletePrinterDriverExW(nullptr, kEnvironment, kDriver, DPD_DELETE_ALL_FILES, 0)) {
    RestartSpooler();
    DeletePrinterDriverExW(nullptr, kEnvironment, kDriver, DPD_DELETE_ALL_FILES, 0);
  }
  InstallDriver(package, driverDir);
  // The installer keeps its saved printers as a list built from the front: the last saved
  // comes back first.
  for (DWORD i = saved; i > 0; --i) RestorePrinter(g_saved[i - 1]);
  StartTray(package);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 0;
  CheckSpooler();
  if (lstrcmpW(argv[1], L"install") == 0) Install(argv[2]);
  if (lstrcmpW(argv[1], L"uninstall") == 0) Uninstall();
  if (lstrcmpW(argv[1], L"reinstall") == 0) Reinstall(argv[2]);
  WCHAR name[256];
  DWORD size = 256;
  GetDefaultPrinterW(name, &size);
  return 0;
}
