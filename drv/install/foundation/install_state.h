// InstallState: the one record every step of an install or uninstall run works on.
//
// It owns the directories of the run, the log with its depth and error count, the log file
// that receives each line while one is open, the files still to delete, the printers removed
// with their settings, the printer snapshot they point into and the list of printers moved off
// our port. The file and environment names point to constant texts. Created once at the start
// of a run, released once at its end (or by the destructor, whichever comes first). What
// builds it (state_lifecycle.h) sits above the steps it calls; the record itself, and its
// release, which frees only what it holds, are foundation, shared by every step.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "checked_payload.h"
#include "install_records.h"
#include "log_file_sink.h"
#include "session_list.h"
#include "wstring.h"

enum InstallOptions : unsigned {
  OptionX64 = 2,
  OptionNoTray = 4,
};

struct InstallState {
  WString moduleDir;
  // The payload's folders and files as checked at the start of the run, held until its end.
  CheckedPayload payload;
  WString systemDir;
  WString logText;
  // The log file on disk while the run streams its log there; closed otherwise.
  LogFileSink logFile;
  WString driverDir;
  const WCHAR* environment = nullptr;
  const WCHAR* monitorFile = nullptr;
  const WCHAR* driverFile = nullptr;
  const WCHAR* helpFile = nullptr;
  const WCHAR* uiFile = nullptr;
  BYTE isX64 = 0;
  BYTE checkMonitorVersion = 0;
  BYTE installMonitor = 0;
  BYTE installTray = 0;
  BYTE copyMonitor = 0;
  // The sessions whose tray companion the removal stopped, where the install starts it again.
  SessionList stoppedCompanions;
  int errorCount = 0;
  int indent = 0;
  PendingDeleteNode* pendingDeletes = nullptr;
  SavedPrinter* savedPrinters = nullptr;
  // Printers of ours the removal left in place because their settings could not be saved:
  // present after the reinstall all the same.
  unsigned keptPrinters = 0;
  PrinterSnapshot printers = {nullptr, 0};
  PRINTER_INFO_2W** retargetedPrinters = nullptr;
  // Parallel to retargetedPrinters: where in each record's port text our port's entry was
  // replaced by "file:", in characters, so that exactly that entry is put back.
  DWORD* retargetedPortOffsets = nullptr;

  InstallState() = default;
  ~InstallState();
  InstallState(const InstallState&) = delete;
  InstallState& operator=(const InstallState&) = delete;
};

// Frees the list of printers moved off our port together with its port offsets.
void FreeRetargetedPrinters(InstallState& state);
// Frees everything the record owns, in a fixed order; safe to call more than once.
void ReleaseInstallState(InstallState& state);
