// Printer drivers: EnumPrinterDriversW, GetPrinterDriverW, AddPrinterDriverExW and
// DeletePrinterDriverExW. Installed files live in the environment's version-3 subdirectory of
// the printer-driver directory.
#include <winspool.h>

#include "spooler_internal.h"
#include "winsim/files.h"

using winsim::FileSystem;
using winsim::Machine;
using winsim::Spooler;
using winsim::SpoolerDriver;
using winsim::StringPacker;
using winsim::WideText;

namespace {

size_t DriverRecordSize(DWORD level) {
  switch (level) {
    case 1:
      return sizeof(DRIVER_INFO_1W);
    case 2:
      return sizeof(DRIVER_INFO_2W);
    case 3:
      return sizeof(DRIVER_INFO_3W);
    case 4:
      return sizeof(DRIVER_INFO_4W);
    case 5:
      return sizeof(DRIVER_INFO_5W);
    case 6:
      return sizeof(DRIVER_INFO_6W);
  }
  return 0;
}

std::vector<WideText> FullPaths(const Spooler& spooler, const SpoolerDriver& driver,
                                const std::vector<WideText>& files) {
  std::vector<WideText> paths;
  for (const WideText& file : files) paths.push_back(spooler.DriverFilePath(driver, file));
  return paths;
}

// Fills one DRIVER_INFO_n record. Levels 2 to 6 share their first members, so the record is
// written through the widest layout that the level includes.
void MarshalDriver(const Spooler& spooler, const SpoolerDriver& driver, DWORD level, void* record,
                   StringPacker& strings) {
  LPWSTR name = strings.Put(driver.name);
  if (level == 1) {
    if (record != nullptr) static_cast<DRIVER_INFO_1W*>(record)->pName = name;
    return;
  }
  LPWSTR environment = strings.Put(driver.environment);
  LPWSTR driverPath = strings.Put(spooler.DriverFilePath(driver, driver.driverFile));
  LPWSTR dataFile = strings.Put(spooler.DriverFilePath(driver, driver.dataFile));
  LPWSTR configFile = strings.Put(spooler.DriverFilePath(driver, driver.configFile));
  if (record != nullptr) {
    auto* info = static_cast<DRIVER_INFO_2W*>(record);
    info->cVersion = driver.version;
    info->pName = name;
    info->pEnvironment = environment;
    info->pDriverPath = driverPath;
    info->pDataFile = dataFile;
    info->pConfigFile = configFile;
  }
  if (level == 2) return;
  if (level == 5) {
    // The attribute and version numbers stay 0: the simulated drivers carry none.
    return;
  }
  LPWSTR helpFile = driver.helpFile.empty()
                        ? nullptr
                        : strings.Put(spooler.DriverFilePath(driver, driver.helpFile));
  LPWSTR dependentFiles = strings.PutList(FullPaths(spooler, driver, driver.dependentFiles));
  LPWSTR monitorName = strings.PutOptional(driver.monitorName);
  LPWSTR defaultDataType = strings.PutOptional(driver.defaultDataType);
  if (record != nullptr) {
    auto* info = static_cast<DRIVER_INFO_3W*>(record);
    info->pHelpFile = helpFile;
    info->pDependentFiles = dependentFiles;
    info->pMonitorName = monitorName;
    info->pDefaultDataType = defaultDataType;
  }
  if (level == 3) return;
  LPWSTR previousNames = strings.PutList(driver.previousNames);
  if (record != nullptr) static_cast<DRIVER_INFO_4W*>(record)->pszzPreviousNames = previousNames;
  if (level == 4) return;
  LPWSTR manufacturer = strings.PutOptional(driver.manufacturer);
  LPWSTR oemUrl = strings.PutOptional(driver.oemUrl);
  LPWSTR hardwareId = strings.PutOptional(driver.hardwareId);
  LPWSTR provider = strings.PutOptional(driver.provider);
  if (record != nullptr) {
    auto* info = static_cast<DRIVER_INFO_6W*>(record);
    info->ftDriverDate = driver.driverDate;
    info->dwlDriverVersion = driver.driverVersion;
    info->pszMfgName = manufacturer;
    info->pszOEMUrl = oemUrl;
    info->pszHardwareID = hardwareId;
    info->pszProvider = provider;
  }
}

bool IsLocalServer(const WCHAR* name) {
  return name == nullptr || name[0] == 0;
}

WideText BaseName(const WideText& path) {
  size_t separator = path.find_last_of(u"\\/");
  return separator == WideText::npos ? path : path.substr(separator + 1);
}

std::vector<WideText> ReadList(const WCHAR* list) {
  std::vector<WideText> texts;
  if (list == nullptr) return texts;
  while (list[0] != 0) {
    WideText text = winsim::FromPtr(list);
    list += text.size() + 1;
    texts.push_back(text);
  }
  return texts;
}

// A source named without a directory is looked for in the environment's driver directory.
WideText SourcePath(const Spooler& spooler, const WideText& environment, const WideText& file) {
  if (file.find_first_of(u"\\/") != WideText::npos) return file;
  return spooler.DriverDirectory(environment) + u"\\" + file;
}

bool UsedByOtherDriver(const Spooler& spooler, const SpoolerDriver& driver, const WideText& file) {
  for (const SpoolerDriver& other : spooler.drivers) {
    if (&other == &driver || other.environment != driver.environment) continue;
    std::vector<WideText> files = {other.driverFile, other.dataFile, other.configFile,
                                   other.helpFile};
    files.insert(files.end(), other.dependentFiles.begin(), other.dependentFiles.end());
    for (const WideText& used : files) {
      if (!used.empty() && winsim::EqualsIgnoringCase(used, file)) return true;
    }
  }
  return false;
}

// Without APD_COPY_ALL_FILES a file is copied only when it is not older than the one in place;
// the simulated files carry no time stamps, so their file versions decide.
bool IsNewer(const FileSystem& files, const WideText& installed, const WideText& source) {
  auto old = files.FileVersion(installed);
  auto candidate = files.FileVersion(source);
  return old && candidate && *old > *candidate;
}

}  // namespace

BOOL WINAPI EnumPrinterDriversW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                                DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!winsim::SpoolerAvailable()) return FALSE;
  if (!winsim::CheckEnumerationArguments(pDriverInfo, cbBuf, pcbNeeded, pcReturned)) return FALSE;
  if (!IsLocalServer(pName)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (DriverRecordSize(Level) == 0) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  WideText environment = Spooler::CanonicalEnvironment(pEnvironment);
  if (environment.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  Spooler& spooler = Machine::Current().spooler();
  std::vector<const SpoolerDriver*> listed;
  for (const SpoolerDriver& driver : spooler.drivers) {
    if (driver.environment == environment) listed.push_back(&driver);
  }
  auto marshal = [&](size_t index, void* record, StringPacker& strings) {
    MarshalDriver(spooler, *listed[index], Level, record, strings);
  };
  return winsim::ReturnRecords(listed.size(), DriverRecordSize(Level), marshal, pDriverInfo, cbBuf,
                               pcbNeeded, pcReturned);
}

BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                              DWORD cbBuf, LPDWORD pcbNeeded) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  winsim::PrinterHandleObject* handle = nullptr;
  if (DWORD error = winsim::ResolvePrinterHandle(hPrinter, &handle)) {
    SetLastError(error);
    return FALSE;
  }
  if (pcbNeeded == nullptr) {
    SetLastError(RPC_X_NULL_REF_POINTER);
    return FALSE;
  }
  if (pDriverInfo == nullptr && cbBuf != 0) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (DriverRecordSize(Level) == 0) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  WideText environment = Spooler::CanonicalEnvironment(pEnvironment);
  if (environment.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  if (handle->printer == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Spooler& spooler = Machine::Current().spooler();
  const SpoolerDriver* driver = spooler.FindDriver(handle->printer->driver, environment);
  if (driver == nullptr) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  auto marshal = [&](size_t, void* record, StringPacker& strings) {
    MarshalDriver(spooler, *driver, Level, record, strings);
  };
  return winsim::ReturnRecords(1, DriverRecordSize(Level), marshal, pDriverInfo, cbBuf, pcbNeeded,
                               nullptr);
}

BOOL WINAPI AddPrinterDriverExW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo,
                                DWORD dwFileCopyFlags) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!winsim::SpoolerAvailable()) return FALSE;
  if (!IsLocalServer(pName)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (Level != 2 && Level != 3 && Level != 4 && Level != 6) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  auto* common = reinterpret_cast<const DRIVER_INFO_2W*>(pDriverInfo);
  if (common == nullptr || common->pName == nullptr || common->pName[0] == 0 ||
      common->pDriverPath == nullptr || common->pDriverPath[0] == 0 ||
      common->pDataFile == nullptr || common->pDataFile[0] == 0 || common->pConfigFile == nullptr ||
      common->pConfigFile[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Spooler& spooler = Machine::Current().spooler();
  WideText environment = Spooler::CanonicalEnvironment(common->pEnvironment);
  if (environment.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }

  SpoolerDriver driver;
  driver.name = winsim::FromPtr(common->pName);
  driver.environment = environment;
  std::vector<WideText> sources = {winsim::FromPtr(common->pDriverPath),
                                   winsim::FromPtr(common->pDataFile),
                                   winsim::FromPtr(common->pConfigFile)};
  if (Level >= 3) {
    auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(pDriverInfo);
    WideText help = winsim::FromPtr(info->pHelpFile);
    if (!help.empty()) {
      driver.helpFile = BaseName(help);
      sources.push_back(help);
    }
    for (const WideText& dependent : ReadList(info->pDependentFiles)) {
      driver.dependentFiles.push_back(BaseName(dependent));
      sources.push_back(dependent);
    }
    driver.monitorName = winsim::FromPtr(info->pMonitorName);
    driver.defaultDataType = winsim::FromPtr(info->pDefaultDataType);
  }
  if (Level >= 4) {
    driver.previousNames =
        ReadList(reinterpret_cast<const DRIVER_INFO_4W*>(pDriverInfo)->pszzPreviousNames);
  }
  if (Level == 6) {
    auto* info = reinterpret_cast<const DRIVER_INFO_6W*>(pDriverInfo);
    driver.driverDate = info->ftDriverDate;
    driver.driverVersion = info->dwlDriverVersion;
    driver.manufacturer = winsim::FromPtr(info->pszMfgName);
    driver.oemUrl = winsim::FromPtr(info->pszOEMUrl);
    driver.hardwareId = winsim::FromPtr(info->pszHardwareID);
    driver.provider = winsim::FromPtr(info->pszProvider);
  }
  driver.driverFile = BaseName(sources[0]);
  driver.dataFile = BaseName(sources[1]);
  driver.configFile = BaseName(sources[2]);

  // Every source must be there, and every destination writable, before anything is copied. A
  // destination the spooler has loaded is moved aside (the platform deletes it later), so it
  // does not stand in the way.
  FileSystem& files = Machine::Current().files();
  for (const WideText& source : sources) {
    WideText path = SourcePath(spooler, environment, source);
    if (!files.IsFile(path)) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
    WideText to = spooler.DriverFilePath(driver, BaseName(source));
    const FileSystem::Node* destination = files.Find(to);
    if (destination != nullptr && !destination->holder.empty() && !spooler.IsHeldBySpooler(to)) {
      SetLastError(destination->holdError);
      return FALSE;
    }
  }
  for (const WideText& source : sources) {
    WideText from = SourcePath(spooler, environment, source);
    WideText to = spooler.DriverFilePath(driver, BaseName(source));
    if (FileSystem::Key(from) == FileSystem::Key(to)) continue;
    if (!(dwFileCopyFlags & APD_COPY_ALL_FILES) && IsNewer(files, to, from)) continue;
    files.AddFile(to, files.Contents(from));
    files.ReleaseHold(to);
  }
  if (SpoolerDriver* existing = spooler.FindDriver(driver.name, environment)) {
    *existing = driver;  // an upgrade replaces the driver's description
  } else {
    spooler.drivers.push_back(driver);
  }
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI DeletePrinterDriverExW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pDriverName,
                                   DWORD dwDeleteFlag, DWORD dwVersionFlag) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!winsim::SpoolerAvailable()) return FALSE;
  if (!IsLocalServer(pName)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  const DWORD knownFlags =
      DPD_DELETE_UNUSED_FILES | DPD_DELETE_SPECIFIC_VERSION | DPD_DELETE_ALL_FILES;
  if (pDriverName == nullptr || pDriverName[0] == 0 || (dwDeleteFlag & ~knownFlags) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  WideText environment = Spooler::CanonicalEnvironment(pEnvironment);
  if (environment.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  Spooler& spooler = Machine::Current().spooler();
  SpoolerDriver* driver = spooler.FindDriver(winsim::FromPtr(pDriverName), environment);
  if (driver == nullptr ||
      ((dwDeleteFlag & DPD_DELETE_SPECIFIC_VERSION) && dwVersionFlag != driver->version)) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  // Printers of this machine use drivers of its own environment; the spooler keeps a driver it
  // has loaded until it stops.
  bool usedByPrinter = false;
  if (environment == winsim::kNativeEnvironment) {
    for (const auto& printer : spooler.printers) {
      if (winsim::EqualsIgnoringCase(printer->driver, driver->name)) usedByPrinter = true;
    }
  }
  if (usedByPrinter || spooler.IsDriverLoaded(*driver)) {
    SetLastError(ERROR_PRINTER_DRIVER_IN_USE);
    return FALSE;
  }
  std::vector<WideText> driverFiles = {driver->driverFile, driver->dataFile, driver->configFile,
                                       driver->helpFile};
  driverFiles.insert(driverFiles.end(), driver->dependentFiles.begin(),
                     driver->dependentFiles.end());
  if (dwDeleteFlag & DPD_DELETE_ALL_FILES) {
    for (const WideText& file : driverFiles) {
      if (!file.empty() && UsedByOtherDriver(spooler, *driver, file)) {
        SetLastError(ERROR_PRINTER_DRIVER_IN_USE);
        return FALSE;
      }
    }
  }
  if (dwDeleteFlag & (DPD_DELETE_ALL_FILES | DPD_DELETE_UNUSED_FILES)) {
    FileSystem& files = Machine::Current().files();
    for (const WideText& file : driverFiles) {
      if (file.empty() || UsedByOtherDriver(spooler, *driver, file)) continue;
      WideText path = spooler.DriverFilePath(*driver, file);
      // A file that another process holds stays where it is (the platform moves it aside and
      // deletes it at the next boot); the driver is removed all the same.
      if (files.IsFile(path) && !files.IsHeld(path)) files.Remove(path);
    }
  }
  spooler.drivers.erase(spooler.drivers.begin() + (driver - spooler.drivers.data()));
  winsim::PoisonLastError();
  return TRUE;
}
