#include "port_monitor_install.h"

#include <windows.h>
#include <winspool.h>

#include "../foundation/error_codes.h"
#include "../foundation/install_log.h"
#include "../foundation/install_state.h"
#include "../foundation/product.h"
#include "file_copy.h"
#include "port_retarget.h"
#include "spooler_service.h"

namespace {

constexpr int kAddMonitorAttempts = 5;
constexpr DWORD kAddMonitorRetryMilliseconds = 50;
// Marks an entry whose port was put back, so that it never grows a second time.
constexpr DWORD kRestoredEntry = 0xFFFFFFFF;

void CopyMonitorFile(InstallState& state) {
  LogLine(state, L"Copy monitor file");
  const WCHAR* systemDir = state.systemDir.Text();
  if (SUCCEEDED(CopyIntoDirectory(state, systemDir, state.monitorFile, nullptr, false))) return;
  // The spooler may hold the old DLL; with it stopped the copy can replace it.
  SpoolerPause pause(&state);
  if (FAILED(CopyIntoDirectory(state, systemDir, state.monitorFile, nullptr, true))) {
    LogLine(state, L"Can't copy monitor file");
  }
}

bool AddOurMonitor(InstallState& state) {
  // The spooler only reads the record; the platform declares its members writable.
  MONITOR_INFO_2W info = {const_cast<LPWSTR>(kMonitorName), const_cast<LPWSTR>(state.environment),
                          const_cast<LPWSTR>(state.monitorFile)};
  for (int attempt = 1; attempt <= kAddMonitorAttempts; ++attempt) {
    if (attempt > 1) Sleep(kAddMonitorRetryMilliseconds);
    if (AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) return true;
    DWORD error = GetLastError();  // for the report after the last attempt
    LogLine(state, L"AddMonitor - failed. Trying to wait and install again");
    SetLastError(error);
  }
  return false;
}

// Puts our port back exactly where the removal replaced it by "file:". The removal shortened
// the text there by the difference of the two names, so the storage has room for ours; an
// entry that no longer reads "file:" at that place, or was put back already, is left alone.
void RestoreRetargetedPrinters(InstallState& state) {
  if (state.retargetedPrinters == nullptr || state.retargetedPortOffsets == nullptr) return;
  for (DWORD i = 0; state.retargetedPrinters[i] != nullptr; ++i) {
    PRINTER_INFO_2W& record = *state.retargetedPrinters[i];
    DWORD& offset = state.retargetedPortOffsets[i];
    if (offset == kRestoredEntry || !IsPortEntryAt(record.pPortName, offset, kFilePort)) continue;
    ReplacePortEntry(record.pPortName, offset, kFilePort, kOurPort);
    offset = kRestoredEntry;
    StorePrinterRecord(state, record);
  }
}

}  // namespace

void InstallPortMonitor(InstallState& state) {
  LogLine(state, L"#AddMonitor");
  ++state.indent;
  if (state.copyMonitor) {
    CopyMonitorFile(state);
  } else {
    LogLine(state, L"Skip copy monitor file");
  }
  if (!AddOurMonitor(state)) {
    ReportError(state, kErrorInstallMonitor, kMessageInstallMonitor);
    --state.indent;
    return;
  }
  LogLine(state, L"AddMonitor - OK :)");
  RestoreRetargetedPrinters(state);
  --state.indent;
}
