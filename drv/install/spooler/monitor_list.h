// The port monitors the local spooler knows: a snapshot taken with the two-call enumeration at
// level 2, the lookup of our monitor "vexaWriter:" in it, and its numbered listing in the log.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "../foundation/handles.h"

struct InstallState;

struct MonitorList {
  // The spooler's MONITOR_INFO_2W array followed by the strings it points into; empty when
  // count is 0.
  UniqueGlobalBlock records;
  DWORD level = 2;
  DWORD count = 0;
  // False when the spooler's listing failed: our monitor may be registered without being listed.
  bool complete = true;
};

// Lists the monitors; logs only when the spooler has nothing to list or the listing fails.
MonitorList ListMonitors(InstallState& state);
// Index of the first record named exactly "vexaWriter:" (levels 1 and 2), or -1.
int FindOurMonitor(const MonitorList& list);
// The dashed header with the count, one numbered line per monitor, the dashed closing line.
void LogMonitorList(InstallState& state, const MonitorList& list);
