// Test-only winspool.drv for Wine prefixes: every export is forwarded (winspool.def) to a renamed
// copy of Wine's own builtin, "winspool_wine.dll", except four calls whose Windows behaviour
// Wine 8.0's spooler lacks, implemented here on top of Wine's own calls:
//   - AddPrinterW/A with a PRINTER_INFO_2 whose pDatatype is null: the print processor's default
//     data type, "RAW" (Wine fails with 1801 and leaves a printer that cannot be opened);
//   - DeletePrinterDriverExW with DPD_DELETE_ALL_FILES or DPD_DELETE_UNUSED_FILES: refused with
//     ERROR_PRINTER_DRIVER_IN_USE while a printer uses the driver; otherwise the driver is
//     removed through Wine with flags 0 and then its files are deleted, except those another
//     driver still lists; a file that is held open is scheduled for deletion at reboot, as the
//     spooler does with driver files in use (Wine rejects every delete flag with 87);
//   - SetPrinterW level 0 with PRINTER_CONTROL_PURGE: the printer's jobs are deleted and the call
//     succeeds on a valid handle (Wine fails with 124).
// VexaForwarderMarker lets a test prove that this DLL, not Wine's builtin, answers the calls.
// Never part of the package: built into the wine-tools folder and copied into a test prefix.
#include <windows.h>
#include <winspool.h>

namespace {

constexpr DWORD kMarker = 0x56584657;  // "VXFW"
constexpr DWORD kDeleteFileFlags = DPD_DELETE_ALL_FILES | DPD_DELETE_UNUSED_FILES;
WCHAR kRaw[] = L"RAW";
char kRawA[] = "RAW";

// The forwards keep Wine's copy loaded for the life of the process, so this one reference is
// never given back.
HMODULE WineSpooler() {
  static HMODULE wine = LoadLibraryW(L"winspool_wine.dll");
  return wine;
}

// Wine's own entry points, resolved by name from the renamed builtin.
template <typename Function>
Function Real(const char* name) {
  HMODULE wine = WineSpooler();
  return wine != nullptr
             ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(wine, name)))
             : nullptr;
}

using AddPrinterWFn = HANDLE(WINAPI*)(LPWSTR, DWORD, LPBYTE);
using AddPrinterAFn = HANDLE(WINAPI*)(LPSTR, DWORD, LPBYTE);
using SetPrinterWFn = BOOL(WINAPI*)(HANDLE, DWORD, LPBYTE, DWORD);
using GetPrinterWFn = BOOL(WINAPI*)(HANDLE, DWORD, LPBYTE, DWORD, LPDWORD);
using EnumPrintersWFn = BOOL(WINAPI*)(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
using EnumDriversWFn = BOOL(WINAPI*)(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
using DeleteDriverExWFn = BOOL(WINAPI*)(LPWSTR, LPWSTR, LPWSTR, DWORD, DWORD);
using EnumJobsWFn = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
using SetJobWFn = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, LPBYTE, DWORD);

// One heap block from a two-call enumeration; null when there is nothing or it failed.
struct Listing {
  BYTE* block = nullptr;
  DWORD count = 0;
  Listing() = default;
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;
  ~Listing() {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
  }
};

bool ListPrinters(Listing& out) {
  auto enumPrinters = Real<EnumPrintersWFn>("EnumPrintersW");
  DWORD needed = 0;
  if (enumPrinters == nullptr ||
      enumPrinters(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &out.count)) {
    return enumPrinters != nullptr;
  }
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  out.block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
  return out.block != nullptr &&
         enumPrinters(PRINTER_ENUM_LOCAL, nullptr, 2, out.block, needed, &needed, &out.count);
}

bool ListDrivers(LPWSTR server, LPWSTR environment, Listing& out) {
  auto enumDrivers = Real<EnumDriversWFn>("EnumPrinterDriversW");
  DWORD needed = 0;
  if (enumDrivers == nullptr ||
      enumDrivers(server, environment, 3, nullptr, 0, &needed, &out.count)) {
    return enumDrivers != nullptr;
  }
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  out.block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
  return out.block != nullptr &&
         enumDrivers(server, environment, 3, out.block, needed, &needed, &out.count);
}

bool SameText(const WCHAR* a, const WCHAR* b) {
  return a != nullptr && b != nullptr && lstrcmpiW(a, b) == 0;
}

// Whether a driver record lists the file, by its full path or, for dependent files given by
// bare name, by the name inside the driver directory.
bool DriverListsFile(const DRIVER_INFO_3W& driver, const WCHAR* path) {
  if (SameText(driver.pDriverPath, path) || SameText(driver.pDataFile, path) ||
      SameText(driver.pConfigFile, path) || SameText(driver.pHelpFile, path)) {
    return true;
  }
  for (const WCHAR* file = driver.pDependentFiles; file != nullptr && *file != 0;
       file += lstrlenW(file) + 1) {
    if (SameText(file, path)) return true;
  }
  return false;
}

// Deletes one file of a removed driver unless another driver of the listing still lists it.
// A file that is held open goes at the next reboot, as the spooler handles driver files in use.
void DeleteDriverFile(const Listing& others, const WCHAR* path) {
  if (path == nullptr || *path == 0) return;
  const auto* drivers = reinterpret_cast<const DRIVER_INFO_3W*>(others.block);
  for (DWORD i = 0; i < others.count; ++i) {
    if (DriverListsFile(drivers[i], path)) return;
  }
  if (!DeleteFileW(path) && GetLastError() != ERROR_FILE_NOT_FOUND) {
    MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
}

// The record's strings point into the listing's block; a copy of the record keeps them alive
// only while the listing lives, so the files are collected as one block of paths.
struct DriverFiles {
  WCHAR* paths = nullptr;  // NUL-separated, double-NUL-terminated
  DriverFiles() = default;
  DriverFiles(const DriverFiles&) = delete;
  DriverFiles& operator=(const DriverFiles&) = delete;
  ~DriverFiles() {
    if (paths != nullptr) HeapFree(GetProcessHeap(), 0, paths);
  }
};

bool CollectDriverFiles(const DRIVER_INFO_3W& driver, DriverFiles& out) {
  const WCHAR* single[] = {driver.pDriverPath, driver.pDataFile, driver.pConfigFile,
                           driver.pHelpFile};
  int length = 1;
  for (const WCHAR* file : single) length += file != nullptr ? lstrlenW(file) + 1 : 0;
  for (const WCHAR* file = driver.pDependentFiles; file != nullptr && *file != 0;
       file += lstrlenW(file) + 1) {
    length += lstrlenW(file) + 1;
  }
  out.paths =
      static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, length * sizeof(WCHAR)));
  if (out.paths == nullptr) return false;
  WCHAR* next = out.paths;
  auto append = [&next](const WCHAR* file) {
    if (file == nullptr || *file == 0) return;
    lstrcpyW(next, file);
    next += lstrlenW(file) + 1;
  };
  for (const WCHAR* file : single) append(file);
  for (const WCHAR* file = driver.pDependentFiles; file != nullptr && *file != 0;
       file += lstrlenW(file) + 1) {
    append(file);
  }
  return true;
}

bool DriverInUse(const WCHAR* driverName) {
  Listing printers;
  if (!ListPrinters(printers)) return false;
  const auto* records = reinterpret_cast<const PRINTER_INFO_2W*>(printers.block);
  for (DWORD i = 0; i < printers.count; ++i) {
    if (SameText(records[i].pDriverName, driverName)) return true;
  }
  return false;
}

}  // namespace

extern "C" {

DWORD WINAPI Forward_Marker() {
  return kMarker;
}

HANDLE WINAPI Forward_AddPrinterW(LPWSTR server, DWORD level, LPBYTE printer) {
  auto addPrinter = Real<AddPrinterWFn>("AddPrinterW");
  if (addPrinter == nullptr) return nullptr;
  if (level == 2 && printer != nullptr &&
      reinterpret_cast<PRINTER_INFO_2W*>(printer)->pDatatype == nullptr) {
    PRINTER_INFO_2W withType = *reinterpret_cast<PRINTER_INFO_2W*>(printer);
    withType.pDatatype = kRaw;
    return addPrinter(server, level, reinterpret_cast<LPBYTE>(&withType));
  }
  return addPrinter(server, level, printer);
}

HANDLE WINAPI Forward_AddPrinterA(LPSTR server, DWORD level, LPBYTE printer) {
  auto addPrinter = Real<AddPrinterAFn>("AddPrinterA");
  if (addPrinter == nullptr) return nullptr;
  if (level == 2 && printer != nullptr &&
      reinterpret_cast<PRINTER_INFO_2A*>(printer)->pDatatype == nullptr) {
    PRINTER_INFO_2A withType = *reinterpret_cast<PRINTER_INFO_2A*>(printer);
    withType.pDatatype = kRawA;
    return addPrinter(server, level, reinterpret_cast<LPBYTE>(&withType));
  }
  return addPrinter(server, level, printer);
}

BOOL WINAPI Forward_DeletePrinterDriverExW(LPWSTR server, LPWSTR environment, LPWSTR driverName,
                                           DWORD deleteFlags, DWORD versionFlag) {
  auto deleteDriver = Real<DeleteDriverExWFn>("DeletePrinterDriverExW");
  if (deleteDriver == nullptr) return FALSE;
  if ((deleteFlags & kDeleteFileFlags) == 0) {
    return deleteDriver(server, environment, driverName, deleteFlags, versionFlag);
  }
  if (DriverInUse(driverName)) {
    SetLastError(ERROR_PRINTER_DRIVER_IN_USE);
    return FALSE;
  }
  DriverFiles files;
  {
    Listing drivers;
    if (ListDrivers(server, environment, drivers)) {
      const auto* records = reinterpret_cast<const DRIVER_INFO_3W*>(drivers.block);
      for (DWORD i = 0; i < drivers.count; ++i) {
        if (SameText(records[i].pName, driverName) && !CollectDriverFiles(records[i], files)) {
          SetLastError(ERROR_NOT_ENOUGH_MEMORY);
          return FALSE;
        }
      }
    }
  }
  if (!deleteDriver(server, environment, driverName, deleteFlags & ~kDeleteFileFlags,
                    versionFlag)) {
    return FALSE;
  }
  Listing remaining;
  ListDrivers(server, environment, remaining);
  for (const WCHAR* path = files.paths; path != nullptr && *path != 0; path += lstrlenW(path) + 1) {
    DeleteDriverFile(remaining, path);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI Forward_SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command) {
  auto setPrinter = Real<SetPrinterWFn>("SetPrinterW");
  if (setPrinter == nullptr) return FALSE;
  if (level != 0 || command != PRINTER_CONTROL_PURGE) {
    return setPrinter(printer, level, info, command);
  }
  // A valid handle answers the size question with ERROR_INSUFFICIENT_BUFFER.
  auto getPrinter = Real<GetPrinterWFn>("GetPrinterW");
  DWORD needed = 0;
  if (getPrinter == nullptr || getPrinter(printer, 2, nullptr, 0, &needed) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto enumJobs = Real<EnumJobsWFn>("EnumJobsW");
  auto setJob = Real<SetJobWFn>("SetJobW");
  DWORD count = 0;
  needed = 0;
  if (enumJobs != nullptr && setJob != nullptr &&
      !enumJobs(printer, 0, 0xFFFF, 1, nullptr, 0, &needed, &count) &&
      GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    auto* jobs = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
    if (jobs != nullptr && enumJobs(printer, 0, 0xFFFF, 1, jobs, needed, &needed, &count)) {
      const auto* records = reinterpret_cast<const JOB_INFO_1W*>(jobs);
      for (DWORD i = 0; i < count; ++i) {
        setJob(printer, records[i].JobId, 0, nullptr, JOB_CONTROL_DELETE);
      }
    }
    if (jobs != nullptr) HeapFree(GetProcessHeap(), 0, jobs);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // extern "C"
