// The process exit codes: the program's only answer to its caller.
#pragma once

enum ExitCode : int {
  kExitInstalled = 1,         // install: no error, nothing left for a reboot
  kExitUninstalled = 2,       // uninstall: no error, nothing left for a reboot
  kExitNo = 3,                // onChkDrv: driver missing or old; onInit: default is ours
  kExitDefaultSet = 4,        // def.set
  kExitNoMode = 6,            // no or unknown keyword; removetray
  kExitErrors = 100,          // install or uninstall reported an error; removetray lacked the lock
  kExitRebootNeeded = 101,    // install or uninstall left files for deletion at reboot
  kExitDefaultNotOurs = 102,  // onInit: the default printer is not ours, or there is none
  kExitDriverCurrent = 103,   // onChkDrv: our driver is installed and recent enough
  kExitFilesAwaitReboot = 200,  // onInit: our files still wait for a boot-time operation
};
