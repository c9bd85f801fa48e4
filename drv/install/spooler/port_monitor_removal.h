// RemovePortMonitor ("#DeleteMonitor"): takes our port monitor "vexaWriter:" out of the local
// spooler and deletes its DLL from the system directory.
//
// During a reinstall (checkMonitorVersion) a DLL of a compatible build (2605 to 2609) is kept:
// the step then clears installMonitor (monitor registered) or copyMonitor (only the DLL in
// place) and deletes nothing. A registered monitor that cannot be deleted at once gets two more
// attempts: after every printer of the snapshot on our port has been moved to "file:"
// (recorded in retargetedPrinters, with the entry's offset in retargetedPortOffsets, for
// InstallPortMonitor to put back), and after a spooler restart; the third failure is error 12
// and leaves the DLL alone. A DLL that cannot be deleted goes to the pending deletions. A DLL is
// deleted only through the system directory's full path; an uninstall deletes one left without
// its monitor only when the listing worked and shows the monitor gone, and leaves one already
// waiting for deletion at the next boot to the boot. When
// the list is incomplete (the listing failed), a monitor the spooler does not call unknown
// when refusing the first deletion counts as registered.
#pragma once

#include "monitor_list.h"

struct InstallState;

void RemovePortMonitor(InstallState& state, const MonitorList& monitors);
