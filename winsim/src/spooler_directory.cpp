// GetPrinterDriverDirectoryW: the spooler's printer-driver directory for an environment.
#include <winspool.h>

#include <string.h>

#include "winsim/spooler.h"

using winsim::Machine;

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level,
                                       LPBYTE pDriverDirectory, DWORD cbBuf, LPDWORD pcbNeeded) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (Level != 1 || pcbNeeded == nullptr) {
    SetLastError(Level != 1 ? ERROR_INVALID_LEVEL : RPC_X_NULL_REF_POINTER);
    return FALSE;
  }
  winsim::WideText environment = winsim::FromPtr(pEnvironment);
  winsim::WideText directory = Machine::Current().spooler().driverDirectory;
  if (environment == u"Windows NT x86") {
    directory = directory.substr(0, directory.rfind(u'\\') + 1) + u"W32X86";
  } else if (!environment.empty() && environment != u"Windows x64") {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
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
