#include "install_state.h"

void FreeRetargetedPrinters(InstallState& state) {
  if (state.retargetedPrinters != nullptr) {
    GlobalFree(state.retargetedPrinters);
    state.retargetedPrinters = nullptr;
  }
  if (state.retargetedPortOffsets != nullptr) {
    GlobalFree(state.retargetedPortOffsets);
    state.retargetedPortOffsets = nullptr;
  }
}

InstallState::~InstallState() {
  ReleaseInstallState(*this);
}

void ReleaseInstallState(InstallState& state) {
  FreeRetargetedPrinters(state);
  ReleasePrinterSnapshot(state.printers);
  FreeSavedPrinters(state.savedPrinters);
  FreePendingDeletes(state.pendingDeletes);
  state.driverDir.Release();
  state.logText.Release();
  state.systemDir.Release();
  state.moduleDir.Release();
  state.payload.Release();
}
