#include "state_lifecycle.h"

#include "foundation/error_codes.h"
#include "foundation/handles.h"
#include "foundation/install_log.h"
#include "foundation/path_parts.h"
#include "foundation/product.h"
#include "foundation/program_module.h"
#include "spooler/printer_snapshot.h"
#include "spooler/spooler_service.h"

namespace {

struct FileSet {
  const WCHAR* environment;
  const WCHAR* monitorFile;
  const WCHAR* driverFile;
  const WCHAR* uiFile;
};
constexpr FileSet kX64Files = {L"Windows x64", L"zqvmon64.dll", L"zqvdrv64.dll", L"zqvui64.dll"};
constexpr FileSet kX86Files = {L"Windows NT x86", L"zqvmon32.dll", L"zqvdrv32.dll", L"zqvui32.dll"};
constexpr const WCHAR* kHelpFile = L"zqvhelp.chm";

// Asks the spooler for its printer-driver directory; logs and stores it with a trailing
// backslash. Reports code 6 when it cannot be had.
void FindDriverDirectory(InstallState& state) {
  DWORD needed = 0;
  if (GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(state.environment), 1, nullptr, 0,
                                 &needed)) {
    return;  // nothing to size: the directory stays empty
  }
  if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    // Zero-filled, with room for the backslash and a terminator beyond what the spooler writes.
    UniqueGlobalBlock buffer(AllocateZeroedGlobal(needed + 2 * sizeof(WCHAR)));
    if (buffer && GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(state.environment), 1,
                                             static_cast<LPBYTE>(buffer.get()), needed, &needed)) {
      auto* directory = static_cast<WCHAR*>(buffer.get());
      DWORD units = needed / sizeof(WCHAR);
      DWORD length = 0;
      while (length < units && directory[length] != 0) ++length;
      if (length > 0 && directory[length - 1] != L'\\') directory[length] = L'\\';
      LogLine(state, L"PrinterDriverDirectory:%s", directory);
      state.driverDir.Assign(directory);
      return;
    }
  }
  ReportError(state, kErrorDriverDirectory, kMessageDriverDirectory);
}

// The directory of the program's executable, ending in its last backslash, slash or colon;
// empty when the path cannot be had in full.
void FindModuleDirectory(InstallState& state) {
  WCHAR path[MAX_PATH];
  DWORD length = GetModuleFileNameW(ProgramModule(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    state.moduleDir.Release();
    return;
  }
  path[FileNamePart(path) - path] = 0;
  state.moduleDir.Assign(path);
}

// The system directory with a trailing backslash; reports code 7 when it cannot be had.
void FindSystemDirectory(InstallState& state) {
  WCHAR path[MAX_PATH + 1];  // one more for the backslash
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length >= MAX_PATH) {
    // Too long for the buffer: nothing was copied, and the call itself reports success.
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    length = 0;
  }
  if (length == 0) {
    ReportError(state, kErrorSystemDirectory, kMessageSystemDirectory);
    return;
  }
  if (path[length - 1] != L'\\') {
    path[length] = L'\\';
    path[length + 1] = 0;
  }
  state.systemDir.Assign(path);
}

}  // namespace

void CreateInstallState(InstallState& state, unsigned options) {
  BeginInstallState(state, options);
  CompleteInstallState(state, options);
}

void BeginInstallState(InstallState& state, unsigned options) {
  ReleaseInstallState(state);
  state.errorCount = 0;
  state.indent = 0;
  state.keptPrinters = 0;
  LogLine(state, L"vexaWriter %d", kBuildNumber);
  state.checkMonitorVersion = 0;
  state.installMonitor = 1;
  state.installTray = (options & OptionNoTray) != 0 ? 0 : 1;
  state.copyMonitor = 1;
  // What the payload check needs, and nothing that another run changes.
  FindModuleDirectory(state);
  ChooseFileNames(state, (options & OptionX64) != 0);
}

void CompleteInstallState(InstallState& state, unsigned options) {
  CheckSpooler(state);
  ChooseFileSet(state, (options & OptionX64) != 0);
  FreeRetargetedPrinters(state);
  FindSystemDirectory(state);
  MarkDefaultPrinter(state);
}

void ChooseFileSet(InstallState& state, bool x64) {
  ChooseFileNames(state, x64);
  FindDriverDirectory(state);
}

void ChooseFileNames(InstallState& state, bool x64) {
  const FileSet& files = x64 ? kX64Files : kX86Files;
  state.isX64 = x64 ? 1 : 0;
  state.environment = files.environment;
  state.monitorFile = files.monitorFile;
  state.driverFile = files.driverFile;
  state.uiFile = files.uiFile;
  state.helpFile = kHelpFile;
}

void FindRunDirectories(InstallState& state) {
  ChooseFileSet(state, true);
  FindModuleDirectory(state);
  FindSystemDirectory(state);
}
