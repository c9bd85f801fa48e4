#include "winsim/processes.h"

using winsim::Machine;

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!Machine::Current().RemoveHandle(hLibModule, winsim::HandleKind::Module)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  winsim::PoisonLastError();
  return TRUE;
}
