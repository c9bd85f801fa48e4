// The printer drivers the local spooler knows for one environment: a snapshot at level 6 taken
// with the two-call enumeration, and the lookup of our driver "vexaWriter printer" in it.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "../foundation/handles.h"

struct DriverList {
  // The spooler's DRIVER_INFO_6W array followed by the strings it points into; empty when count
  // is 0.
  UniqueGlobalBlock records;
  DWORD level = 6;
  DWORD count = 0;
  // False when the spooler's listing failed: our driver may be installed without being listed.
  bool complete = true;
};

// Lists the drivers of the environment; an empty list when there are none or the listing fails
// (the last error then tells why). Writes no log.
DriverList ListDrivers(const WCHAR* environment);
// Index of the first record named exactly "vexaWriter printer" (records of levels 1 to 6), or -1.
int FindOurDriver(const DriverList& list);
// The name of one record, read by the list's level; null for a record without a name or a list
// of an unknown level.
const WCHAR* DriverName(const DriverList& list, DWORD index);
