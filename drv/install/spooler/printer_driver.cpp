#include "printer_driver.h"

#include <winspool.h>

#include "../files/pending_deletes.h"
#include "../foundation/error_codes.h"
#include "../foundation/handles.h"
#include "../foundation/install_log.h"
#include "../foundation/install_state.h"
#include "../foundation/path_parts.h"
#include "../foundation/product.h"
#include "driver_list.h"
#include "file_copy.h"
#include "foundation/text_compare.h"
#include "printer_snapshot.h"
#include "spooler_service.h"

namespace {

constexpr const WCHAR* kMakerName = L"Morvane Software Kft.";
constexpr const WCHAR* kMakerWebAddress = L"https://www.morvane.example/";
constexpr DWORD kDriverVersion = 3;

// The spooler only reads the record; its members are not const in the platform's declaration.
LPWSTR Mutable(const WCHAR* text) {
  return const_cast<LPWSTR>(text);
}

BOOL AddOurDriver(InstallState& state, WCHAR* driverPath, WCHAR* uiPath, WCHAR* helpPath) {
  DRIVER_INFO_6W info = {};
  info.cVersion = kDriverVersion;
  info.pName = Mutable(kDriverName);
  info.pEnvironment = Mutable(state.environment);
  info.pDriverPath = driverPath;
  info.pDataFile = driverPath;
  info.pConfigFile = uiPath;
  info.pHelpFile = helpPath;
  info.pszMfgName = Mutable(kMakerName);
  info.pszProvider = Mutable(kMakerName);
  info.pszOEMUrl = Mutable(kMakerWebAddress);
  return AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES);
}

BOOL DeleteOurDriver(InstallState& state) {
  return DeletePrinterDriverExW(nullptr, Mutable(state.environment), Mutable(kDriverName),
                                DPD_DELETE_ALL_FILES, 0);
}

void LogDriverList(InstallState& state, const DriverList& drivers) {
  if (drivers.count == 0) {
    LogLine(state, L"BTW, there is no printer drivers on this system.");
    return;
  }
  LogLine(state, L"------------ %d existing drivers-----------", static_cast<int>(drivers.count));
  for (DWORD i = 0; i < drivers.count; ++i) {
    const WCHAR* name = DriverName(drivers, i);
    LogLine(state, L"%d. %s", static_cast<int>(i + 1), name != nullptr ? name : L"***EMPTY***");
  }
  LogLine(state, L"-------------------------------------------");
}

// The spooler copied the staged files into its own directory; a copy it still holds is left
// for the pending deletions.
void DeleteStagedCopy(InstallState& state, const WCHAR* path) {
  if (path[0] == 0) return;
  if (!DeleteFileW(path)) AddPendingDelete(state.pendingDeletes, path);
}

// The driver files a DRIVER_INFO_6W names, dependent files included; `visit` until it says stop.
template <typename Visit>
bool AnyDriverFile(const DRIVER_INFO_6W& driver, Visit visit) {
  const WCHAR* files[] = {driver.pDriverPath, driver.pDataFile, driver.pConfigFile,
                          driver.pHelpFile};
  for (const WCHAR* file : files) {
    if (file != nullptr && *file != 0 && visit(file)) return true;
  }
  for (const WCHAR* file = driver.pDependentFiles; file != nullptr && *file != 0;
       file += lstrlenW(file) + 1) {
    if (visit(file)) return true;
  }
  return false;
}

// Another driver of the list names a file of ours: the deletion with all files refuses then.
// True also when the list cannot tell (incomplete, or ours not in it).
bool SharesAFileWithAnotherDriver(const DriverList& drivers) {
  int ours = FindOurDriver(drivers);
  if (!drivers.complete || drivers.level != 6 || ours < 0) return true;
  auto* records = static_cast<const DRIVER_INFO_6W*>(drivers.records.get());
  return AnyDriverFile(records[ours], [&](const WCHAR* ourFile) {
    for (DWORD i = 0; i < drivers.count; ++i) {
      if (static_cast<int>(i) == ours) continue;
      bool shared = AnyDriverFile(records[i], [&](const WCHAR* file) {
        return EqualsIgnoringAsciiCase(FileNamePart(file), FileNamePart(ourFile));
      });
      if (shared) return true;
    }
    return false;
  });
}

// After the spooler refused to delete our driver as in use: true when, as it lists them now, no
// printer of this machine uses it, and either connections to a print server's printers do or
// (afterRestart) it is still in use after a restart although no other driver shares a file of
// it: connections of other accounts, which the spooler lists only to them (the system account
// sees no user's). Those are not ours to delete, and they keep the driver whatever the installer
// does; any printer of this machine on it leaves it an error. The last error is kept.
bool KeptOnlyByConnections(const DriverList& drivers, bool afterRestart) {
  DWORD error = GetLastError();
  if (error != ERROR_PRINTER_DRIVER_IN_USE) return false;
  if (afterRestart && SharesAFileWithAnotherDriver(drivers)) return SetLastError(error), false;
  PrinterSnapshot printers = {};
  TakePrinterSnapshot(printers);
  UniqueGlobalBlock owner(printers.records);
  bool connections = false;
  bool local = false;
  for (DWORD i = 0; i < printers.count; ++i) {
    const PRINTER_INFO_2W& record = printers.records[i];
    if (!IsExactName(record.pDriverName, kDriverName)) continue;
    if (IsPrinterConnection(record)) {
      connections = true;
    } else {
      local = true;
    }
  }
  SetLastError(error);
  return (connections || afterRestart) && !local;
}

}  // namespace

void InstallPrinterDriver(InstallState& state) {
  const WCHAR* label = state.isX64 ? L"x64" : L"Win32";
  LogLine(state, L"#Add Printer Driver %s", label);
  ++state.indent;
  WCHAR driverPath[kDestinationPathUnits] = {};
  WCHAR uiPath[kDestinationPathUnits] = {};
  WCHAR helpPath[kDestinationPathUnits] = {};
  const WCHAR* driverDir = state.driverDir.Text();
  if (SUCCEEDED(CopyIntoDirectory(state, driverDir, state.driverFile, driverPath, true)) &&
      SUCCEEDED(CopyIntoDirectory(state, driverDir, state.uiFile, uiPath, true))) {
    if (FAILED(CopyIntoDirectory(state, driverDir, state.helpFile, helpPath, true))) {
      helpPath[0] = 0;
    }
    if (AddOurDriver(state, driverPath, uiPath, helpPath)) {
      LogLine(state, L"Printer Driver %s was added successfully", label);
    } else {
      ReportError(state, kErrorInstallDriver, kMessageInstallDriver, label);
    }
    DeleteStagedCopy(state, driverPath);
    DeleteStagedCopy(state, uiPath);
    DeleteStagedCopy(state, helpPath);
  }
  --state.indent;
}

void RemovePrinterDriver(InstallState& state, const DriverList& drivers) {
  LogLine(state, L"#DeletePrinterDriver for %s", state.environment);
  ++state.indent;
  LogDriverList(state, drivers);
  int index = FindOurDriver(drivers);
  if (index >= 0) LogLine(state, L"Driver is found. Index=%d", index + 1);
  // Without a complete list only the spooler can tell whether our driver is there: it is asked
  // to delete it all the same.
  if (index < 0 && drivers.complete) {
    LogLine(state, L"No vexaWriter driver (%s)was found", state.environment);
  } else if (DeleteOurDriver(state)) {
    LogLine(state, L"OK :)");
  } else if (index < 0 && GetLastError() == ERROR_UNKNOWN_PRINTER_DRIVER) {
    LogLine(state, L"No vexaWriter driver (%s)was found", state.environment);
  } else if (KeptOnlyByConnections(drivers, false)) {
    // No restart can free it; an install adds the new driver over it, and the connections go on
    // printing with that.
    LogLine(state, L"Printer connections use driver '%s', it stays for them", kDriverName);
  } else {
    LogLine(state, L"Can't delete driver. Trying to restart spooler");
    // A spooler that has just seen the driver's printers go may still hold the driver; a
    // restart lets go of it.
    { SpoolerPause restart(&state); }
    if (DeleteOurDriver(state)) {
      LogLine(state, L"OK :)");
    } else if (KeptOnlyByConnections(drivers, true)) {
      LogLine(state, L"Printer connections use driver '%s', it stays for them", kDriverName);
    } else {
      ReportError(state, kErrorRemoveDriver, kMessageRemoveDriver);
    }
  }
  --state.indent;
}
