#include "winsim/services.h"

using winsim::Machine;

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  Machine& machine = Machine::Current();
  if (!machine.RemoveHandle(hSCObject, winsim::HandleKind::Service) &&
      !machine.RemoveHandle(hSCObject, winsim::HandleKind::ServiceManager)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  winsim::PoisonLastError();
  return TRUE;
}
