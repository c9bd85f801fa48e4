#include "files/pending_deletes.h"
#include "files/pending_renames.h"
#include "foundation/install_log.h"
#include "foundation/install_state.h"
#include "our_files.h"
#include "sequences.h"
#include "spooler/port_monitor_install.h"
#include "spooler/printer_creation.h"
#include "spooler/printer_driver.h"
#include "spooler/saved_printer_records.h"
#include "spooler/spooler_service.h"
#include "tray/tray.h"

void ReInstall(InstallState& state) {
  LogLine(state, L"#ReInstall");
  state.indent += 2;
  state.checkMonitorVersion = 1;
  UnInstall(state);
  if (state.pendingDeletes != nullptr) {
    // What the old installation left held is in the way of the new files only while the
    // spooler holds it; files still held after this are given up, not scheduled for reboot.
    SpoolerPause stopped(&state);
    RetryPendingDeletes(state);
    FreePendingDeletes(state.pendingDeletes);
  }
  {
    OurFiles ours(state);
    SweepBootTimeDeletes(ours.Paths(), ours.Count());
  }
  if (state.installMonitor) InstallPortMonitor(state);
  InstallPrinterDriver(state);
  RestorePrinters(state);
  DropAllPrinterRecords(false);
  StartTray(state);
  if (state.pendingDeletes != nullptr) {
    RetryPendingDeletes(state);
    if (state.pendingDeletes != nullptr) {
      SpoolerPause stopped(&state);
      RetryPendingDeletes(state);
    }
  }
  state.indent -= 2;
}
