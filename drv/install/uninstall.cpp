#include "files/pending_deletes.h"
#include "files/pending_renames.h"
#include "foundation/install_log.h"
#include "foundation/install_state.h"
#include "our_files.h"
#include "sequences.h"
#include "spooler/driver_list.h"
#include "spooler/monitor_list.h"
#include "spooler/port_monitor_removal.h"
#include "spooler/printer_driver.h"
#include "spooler/printer_removal.h"
#include "spooler/saved_printer_records.h"
#include "spooler/spooler_service.h"
#include "tray/tray.h"

namespace {

// The companion file an install is about to register and start again. Deleting it during the
// install's own uninstall would leave the Run value naming a missing file and no companion, so
// it is only asked to quit; an uninstall, and an install without the companion, delete it.
WString TrayFileToKeep(const InstallState& state) {
  if (state.checkMonitorVersion == 0 || state.installTray == 0) return WString();
  return TrayPath(state.moduleDir);
}

}  // namespace

void UnInstall(InstallState& state) {
  LogLine(state, L"#UnInstall");
  ++state.indent;
  WString keepTray = TrayFileToKeep(state);
  StopTray(keepTray.Length() != 0 ? keepTray.Text() : nullptr, &state.stoppedCompanions);
  LogLine(state, L"EnumMonitors");
  MonitorList monitors = ListMonitors(state);
  LogLine(state, L"%d Monitors found.", static_cast<int>(monitors.count));
  LogLine(state, L"EnumPrinterDrivers for %s", state.environment);
  DriverList drivers = ListDrivers(state.environment);
  LogLine(state, L"%d drivers found", static_cast<int>(drivers.count));
  RemoveAllPrinters(state);
  RemovePrinterDriver(state, drivers);
  RemovePortMonitor(state, monitors);
  if (state.pendingDeletes != nullptr) RetryPendingDeletes(state);
  drivers.records.reset();
  monitors.records.reset();
  --state.indent;
}

void FullUninstall(InstallState& state) {
  // The printers an unfinished reinstall left records of are to go, not to come back with the
  // next install.
  DropAllPrinterRecords(true);
  UnInstall(state);
  OurFiles ours(state);
  SweepBootTimeDeletes(ours.Paths(), ours.Count());
  if (state.pendingDeletes == nullptr) return;
  RetryPendingDeletes(state);
  if (state.pendingDeletes == nullptr) return;
  SpoolerPause stopped(&state);
  RetryPendingDeletes(state);
}
