#include "winsim/spooler.h"

#include <winspool.h>

using winsim::Machine;

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!Machine::Current().RemoveHandle(hPrinter, winsim::HandleKind::Printer)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  winsim::PoisonLastError();
  return TRUE;
}
