// Operations whose parts are not built yet: each does nothing until its part lands, and is
// removed from this file then.
#include "foundation/install_state.h"
#include "queries/queries.h"
#include "sequences.h"
#include "tray/tray.h"

void ReInstall(InstallState&) {}
void FullUninstall(InstallState&) {}
bool QueryDriverBuild() {
  return false;
}
bool QueryDefaultNotOurs() {
  return false;
}
void SetOurPrinterDefault() {}
