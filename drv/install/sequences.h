// The install and uninstall sequences: fixed orders of steps over one InstallState. No step's
// outcome stops a later step; the sequences only look at whether files are still waiting to be
// deleted and at the flags the steps leave (installMonitor, installTray).
#pragma once

struct InstallState;

// "#UnInstall": the tray companion, our printers (saved for re-creation), the driver and the
// port monitor, then one more try at the files whose deletion failed.
void UnInstall(InstallState& state);
// The uninstall mode: UnInstall, the boot-time deletions that can be done now, and the files
// still held tried again, the last time with the spooler stopped.
void FullUninstall(InstallState& state);
// Every install mode: UnInstall with a compatible monitor kept, the old files cleared, then the
// monitor, the driver, the printers and the tray companion put in.
void ReInstall(InstallState& state);
