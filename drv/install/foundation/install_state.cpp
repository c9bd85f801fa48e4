#include "install_state.h"

InstallState::~InstallState() {
  ReleaseInstallState(*this);
}

void ReleaseInstallState(InstallState& state) {
  if (state.retargetedPrinters != nullptr) {
    GlobalFree(state.retargetedPrinters);
    state.retargetedPrinters = nullptr;
  }
  ReleasePrinterSnapshot(state.printers);
  FreeSavedPrinters(state.savedPrinters);
  FreePendingDeletes(state.pendingDeletes);
  state.driverDir.Release();
  state.logText.Release();
  state.systemDir.Release();
  state.moduleDir.Release();
}
