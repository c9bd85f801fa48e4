// GetPrinterDriverDirectoryW: the spooler's printer-driver directory for an environment.
#include <winspool.h>

#include <string.h>

#include "spooler_internal.h"

using winsim::Machine;

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level,
                                       LPBYTE pDriverDirectory, DWORD cbBuf, LPDWORD pcbNeeded) {
  (void)pName;
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!winsim::SpoolerAvailable()) return FALSE;
  if (Level != 1 || pcbNeeded == nullptr) {
    SetLastError(Level != 1 ? ERROR_INVALID_LEVEL : RPC_X_NULL_REF_POINTER);
    return FALSE;
  }
  winsim::WideText environment = winsim::Spooler::CanonicalEnvironment(pEnvironment);
  if (environment.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  winsim::WideText directory = Machine::Current().spooler().DriverDirectory(environment);
  DWORD needed = static_cast<DWORD>((directory.size() + 1) * sizeof(WCHAR));
  *pcbNeeded = needed;
  if (pDriverDirectory == nullptr || cbBuf < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  memcpy(pDriverDirectory, directory.c_str(), needed);
  winsim::PoisonLastError();
  return TRUE;
}
