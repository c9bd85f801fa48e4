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
