#include "printer_info.h"

#include "two_call.h"

namespace {

char kSubKeyValue[] = "SubKey";

// A value is taken only as REG_SZ text that ends within the buffer; a value the spooler stored
// without its terminator is terminated here when there is room, and refused when there is not,
// so that no later string operation runs past the buffer.
bool AcceptSubKey(DWORD result, DWORD type, DWORD needed, char* buffer) {
  if (result != ERROR_SUCCESS || type != REG_SZ) return false;
  if (needed < kSubKeyBytes) {
    buffer[needed] = 0;
    return true;
  }
  return buffer[kSubKeyBytes - 1] == 0;
}

// The spooler answered: with the value, with one too long for the buffer, or that there is
// none. Any other failure leaves open whether the printer has settings.
bool Answered(DWORD result) {
  return result == ERROR_SUCCESS || result == ERROR_MORE_DATA || result == ERROR_FILE_NOT_FOUND;
}

}  // namespace

bool ReadPrinterSubKey(HANDLE printer, char* buffer) {
  DWORD type = 0;
  DWORD needed = 0;
  DWORD result = GetPrinterDataA(printer, kSubKeyValue, &type, reinterpret_cast<LPBYTE>(buffer),
                                 kSubKeyBytes, &needed);
  if (AcceptSubKey(result, type, needed, buffer)) return true;
  bool answered = Answered(result);
  type = 0;
  needed = 0;
  result = GetPrinterDataExA(printer, "DsUser", kSubKeyValue, &type,
                             reinterpret_cast<LPBYTE>(buffer), kSubKeyBytes, &needed);
  if (AcceptSubKey(result, type, needed, buffer)) return true;
  buffer[0] = 0;
  return answered && Answered(result);
}

UniqueGlobalBlock FetchPrinterInfo(HANDLE printer) {
  TwoCallResult result =
      FetchSpoolerRecords([printer](LPBYTE buffer, DWORD size, DWORD* needed, DWORD*) {
        return GetPrinterW(printer, 2, buffer, size, needed);
      });
  if (result.outcome == TwoCallOutcome::NothingToList) {
    // A printer always has a description; a size query that succeeds is no answer.
    SetLastError(ERROR_INVALID_DATA);
  }
  return std::move(result.block);
}
