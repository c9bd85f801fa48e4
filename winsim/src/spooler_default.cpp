// The user's default printer: GetDefaultPrinterW and SetDefaultPrinterW, which programs reach
// through the spooler library's ordinals 203 and 204.
#include <winspool.h>

#include <string.h>

#include "spooler_internal.h"

using winsim::Machine;
using winsim::WideText;

BOOL WINAPI GetDefaultPrinterW(LPWSTR pszBuffer, LPDWORD pcchBuffer) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (pcchBuffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The name is kept with the user's settings, so it is read without the spooler service.
  const WideText& name = Machine::Current().spooler().defaultPrinter;
  if (name.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  DWORD units = static_cast<DWORD>(name.size() + 1);
  if (pszBuffer == nullptr || *pcchBuffer < units) {
    *pcchBuffer = units;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  memcpy(pszBuffer, name.c_str(), units * sizeof(WCHAR));
  *pcchBuffer = units;
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI SetDefaultPrinterW(LPCWSTR pszPrinter) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!winsim::SpoolerAvailable()) return FALSE;
  winsim::Spooler& spooler = Machine::Current().spooler();
  if (pszPrinter == nullptr || pszPrinter[0] == 0) {
    // Without a name the first printer becomes the default, unless there is one already; with
    // no printer at all there is nothing to choose.
    if (spooler.defaultPrinter.empty()) {
      for (const auto& printer : spooler.printers) {
        if (!winsim::Spooler::IsPendingDeletion(*printer)) {
          spooler.defaultPrinter = printer->name;
          break;
        }
      }
      if (spooler.defaultPrinter.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
      }
    }
    winsim::PoisonLastError();
    return TRUE;
  }
  auto printer = spooler.FindPrinter(winsim::FromPtr(pszPrinter));
  if (printer == nullptr || winsim::Spooler::IsPendingDeletion(*printer)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  spooler.defaultPrinter = printer->name;
  winsim::PoisonLastError();
  return TRUE;
}
