#include "port_monitor_removal.h"

#include "../files/pending_deletes.h"
#include "../files/pending_renames.h"
#include "../foundation/error_codes.h"
#include "../foundation/handles.h"
#include "../foundation/install_log.h"
#include "../foundation/install_state.h"
#include "../foundation/product.h"
#include "../foundation/text_compare.h"
#include "../foundation/wstring.h"
#include "file_build_number.h"
#include "port_retarget.h"
#include "printer_snapshot.h"
#include "spooler_service.h"

namespace {

bool IsCompatibleMonitorBuild(int build) {
  return build >= kOldestCompatibleMonitorBuild && build <= kBuildNumber;
}

BOOL DeleteOurMonitor(InstallState& state) {
  // The spooler only reads the names; the platform declares them writable.
  return DeleteMonitorW(nullptr, const_cast<LPWSTR>(state.environment),
                        const_cast<LPWSTR>(kMonitorName));
}

// The DLL's path: the system directory and the DLL name of our monitor's record, or the file
// set's name when the monitor is not registered. False when there is no name to add, so that
// the path names the directory only.
bool BuildMonitorPath(InstallState& state, const MonitorList& monitors, int index, WString& path) {
  path.Assign(state.systemDir.Text());
  const WCHAR* fileName = state.monitorFile;
  if (index >= 0) {
    LogLine(state, L"Trying to get monitor filename from MONITOR_INFO_2");
    // Only level-2 records carry the DLL name.
    fileName = monitors.level == 2
                   ? static_cast<const MONITOR_INFO_2W*>(monitors.records.get())[index].pDLLName
                   : nullptr;
  } else {
    LogLine(state, L"Computing monitor filename");
  }
  bool named = fileName != nullptr && fileName[0] != 0;
  if (named) path.Append(fileName);
  LogLine(state, L"Auto calculated monitor file name: %s", path.Text());
  return named;
}

// During a reinstall a compatible DLL stays where it is, with the monitor registered or not;
// true when the step ends here.
bool KeepCompatibleMonitor(InstallState& state, const WCHAR* path, bool found) {
  if (!state.checkMonitorVersion) {
    LogLine(state, L"There is no check for monitor version");
    return false;
  }
  int build = FileBuildNumber(path);
  if (IsCompatibleMonitorBuild(build)) {
    LogLine(state, L"Version (%d) is compatible, proceed without uninstall", build);
    if (found) {
      state.installMonitor = 0;
    } else {
      state.copyMonitor = 0;
    }
    LogLine(state, L"InstallMonitor == %d, CopyMonitor == %d", state.installMonitor ? 1 : 0,
            state.copyMonitor ? 1 : 0);
    return true;
  }
  if (build < 0) {
    LogLine(state, L"Version is unknown, proceed with reinstall");
  } else {
    LogLine(state, L"Version (%d) is not supported, proceed with reinstall", build);
  }
  return false;
}

// Moves every printer of the snapshot whose port list holds our port to "file:" instead,
// recording each (and where its entry stands) before it is opened. The spooler refuses to
// delete a monitor whose port is in use. Printers are moved only when they can be recorded,
// so that none is left on "file:" for good. A connection's port is its print server's, not
// ours: it is left alone.
void MovePrintersOffOurPort(InstallState& state) {
  FreeRetargetedPrinters(state);
  DWORD count = state.printers.count;
  if (count == 0) return;
  // Zero-filled: the entry after the last one made is the terminator.
  UniqueGlobalBlock printers(AllocateZeroedGlobal((count + 1) * sizeof(PRINTER_INFO_2W*)));
  UniqueGlobalBlock offsets(AllocateZeroedGlobal((count + 1) * sizeof(DWORD)));
  if (!printers || !offsets) return;
  state.retargetedPrinters = static_cast<PRINTER_INFO_2W**>(printers.release());
  state.retargetedPortOffsets = static_cast<DWORD*>(offsets.release());
  DWORD recorded = 0;
  for (DWORD i = 0; i < count; ++i) {
    PRINTER_INFO_2W& record = state.printers.records[i];
    DWORD offset = 0;
    if (IsPrinterConnection(record) || !FindPortEntry(record.pPortName, kOurPort, offset)) {
      continue;
    }
    state.retargetedPrinters[recorded] = &record;
    state.retargetedPortOffsets[recorded] = offset;
    ++recorded;
    ReplacePortEntry(record.pPortName, offset, kOurPort, kFilePort);
    StorePrinterRecord(state, record);
  }
}

// Three attempts for a registered monitor: at once, with its port freed, after a spooler
// restart. True when the monitor is gone. Without a complete list the spooler's answer to the
// first attempt tells whether the monitor is registered.
bool DeleteOurMonitorWithRetries(InstallState& state, bool found, bool listComplete) {
  if (DeleteOurMonitor(state)) return true;
  if (!found && (listComplete || GetLastError() == ERROR_UNKNOWN_PRINT_MONITOR)) {
    LogLine(state, L"Can't delete monitor and monitor was not found. So everything should be ok");
    return false;
  }
  LogLine(state, L"Can't delete monitor from the first try");
  MovePrintersOffOurPort(state);
  if (DeleteOurMonitor(state)) return true;
  // A spooler that has just seen the port's printers move may still hold the monitor.
  { SpoolerPause restart(&state); }
  if (DeleteOurMonitor(state)) return true;
  ReportError(state, kErrorRemoveMonitor, kMessageRemoveMonitor);
  return false;
}

}  // namespace

void RemovePortMonitor(InstallState& state, const MonitorList& monitors) {
  LogLine(state, L"#DeleteMonitor");
  ++state.indent;
  if (monitors.count != 0) {
    LogMonitorList(state, monitors);
  } else {
    LogLine(state, L"BTW, there is no port monitors on this system.");
  }
  int index = FindOurMonitor(monitors);
  bool found = index >= 0;
  if (found) {
    LogLine(state, L"Port monitor is found. Index=%d", index + 1);
  } else {
    LogLine(state, L"No vexaWriter port monitor was found.");
  }
  WString path;
  bool named = BuildMonitorPath(state, monitors, index, path);
  // Without the system directory the path would be taken from the working directory.
  bool deletable = named && StartsAtDriveRoot(state.systemDir.Text());
  if (!KeepCompatibleMonitor(state, path.Text(), found) &&
      DeleteOurMonitorWithRetries(state, found, monitors.complete)) {
    // Without a DLL name the path is the bare system directory: nothing to delete then. Any
    // failure (the file still loaded, access denied) leaves the DLL to the pending deletions.
    if (deletable && !DeleteFileW(path.Text())) AddPendingDelete(state.pendingDeletes, path.Text());
    LogLine(state, L"Monitor was removed :)");
  } else if (!found && monitors.complete && deletable && state.checkMonitorVersion == 0 &&
             !IsPendingDeletionAtBoot(path.Text())) {
    // An uninstall ended by force between the monitor's deletion and its DLL's leaves the DLL
    // without a monitor; the next uninstall takes it too. Only a listing that worked shows the
    // monitor gone (a registered monitor keeps its DLL), and a DLL an earlier run scheduled for
    // deletion at the next boot is left to the boot.
    if (!DeleteFileW(path.Text()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetLastError() != ERROR_PATH_NOT_FOUND) {
      AddPendingDelete(state.pendingDeletes, path.Text());
    }
  }
  --state.indent;
}
