#include "port_monitor_install.h"

#include <windows.h>
#include <winspool.h>

#include "../foundation/error_codes.h"
#include "../foundation/install_log.h"
#include "../foundation/install_state.h"
#include "../foundation/product.h"
#include "../foundation/text_compare.h"
#include "file_copy.h"
#include "monitor_list.h"
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

// True when the spooler lists a monitor "vexaWriter:" served by our DLL.
bool OurMonitorListed(InstallState& state) {
  MonitorList monitors = ListMonitors(state);
  int index = FindOurMonitor(monitors);
  if (index < 0 || monitors.level != 2) return false;
  const WCHAR* dll = static_cast<const MONITOR_INFO_2W*>(monitors.records.get())[index].pDLLName;
  return dll != nullptr && EqualsIgnoringAsciiCase(dll, state.monitorFile);
}

enum class AddOutcome { Added, AlreadyOurs, Failed };

AddOutcome AddOurMonitor(InstallState& state) {
  // The spooler only reads the record; the platform declares its members writable.
  MONITOR_INFO_2W info = {const_cast<LPWSTR>(kMonitorName), const_cast<LPWSTR>(state.environment),
                          const_cast<LPWSTR>(state.monitorFile)};
  for (int attempt = 1; attempt <= kAddMonitorAttempts; ++attempt) {
    if (attempt > 1) Sleep(kAddMonitorRetryMilliseconds);
    if (AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) return AddOutcome::Added;
    DWORD error = GetLastError();  // for the report after the last attempt
    // A monitor whose removal failed is still registered; with our DLL, it is ours.
    if (error == ERROR_PRINT_MONITOR_ALREADY_INSTALLED && OurMonitorListed(state)) {
      return AddOutcome::AlreadyOurs;
    }
    LogLine(state, L"AddMonitor - failed. Trying to wait and install again");
    SetLastError(error);
  }
  return AddOutcome::Failed;
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
  switch (AddOurMonitor(state)) {
    case AddOutcome::Added:
      LogLine(state, L"AddMonitor - OK :)");
      break;
    case AddOutcome::AlreadyOurs:
      LogLine(state, L"AddMonitor - already installed :)");
      break;
    case AddOutcome::Failed:
      ReportError(state, kErrorInstallMonitor, kMessageInstallMonitor);
      --state.indent;
      return;
  }
  // Our monitor is registered: the printers the removal moved to "file:" go back on its port.
  RestoreRetargetedPrinters(state);
  --state.indent;
}
