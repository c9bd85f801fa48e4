// Operations whose parts are not built yet: each does nothing until its part lands, and is
// removed from this file then.
#include "foundation/install_state.h"
#include "sequences.h"

void ReInstall(InstallState&) {}
void FullUninstall(InstallState&) {}
