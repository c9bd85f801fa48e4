// The check before an install or uninstall works in the package's folders: the program's own
// folder (drv\, whose files it copies) and the companion's folder above it (whose companion it
// registers, starts or deletes; the program's own file is started in the users' sessions to
// stop their companions). Each folder, and each file of the payload the run reads or
// starts, must be trusted (foundation/trusted_path.h); what was checked stays open in
// state.payload for the rest of the run, the folders without delete sharing. A folder or file
// that fails is reported as error 19 with the folder named, and the run must then change
// nothing. A payload file that cannot be opened at all is no failure here: its copy reports it.
#pragma once

#include "foundation/install_state.h"

enum class PayloadUse {
  Install,    // both folders; the monitor, driver, UI and help files; the companion if started
  Uninstall,  // both folders: the program's own, whose file it starts in the users' sessions to
              // stop their companions, and the companion's, where the companion is deleted
};

// True when everything checked is trusted (or the program's folder is unknown: then nothing of
// the package is reached). Needs moduleDir, the file names and installTray.
bool CheckPayload(InstallState& state, PayloadUse use);
