#include "printer_driver.h"

#include <winspool.h>

#include "../files/pending_deletes.h"
#include "../foundation/error_codes.h"
#include "../foundation/install_log.h"
#include "../foundation/install_state.h"
#include "../foundation/product.h"
#include "file_copy.h"

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

// The spooler copied the staged files into its own directory; a copy it still holds is left
// for the pending deletions.
void DeleteStagedCopy(InstallState& state, const WCHAR* path) {
  if (path[0] == 0) return;
  if (!DeleteFileW(path)) AddPendingDelete(state.pendingDeletes, path);
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
