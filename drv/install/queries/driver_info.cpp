#include "driver_info.h"

#include "../spooler/two_call.h"

UniqueGlobalBlock FetchDriverInfo(HANDLE printer) {
  TwoCallResult result = FetchSpoolerRecords([printer](LPBYTE buffer, DWORD size, DWORD* needed,
                                                       DWORD*) {
    return GetPrinterDriverW(printer, const_cast<LPWSTR>(L"Windows x64"), 2, buffer, size, needed);
  });
  if (result.outcome == TwoCallOutcome::NothingToList) {
    // A printer always has a driver; a size query that succeeds is no answer.
    SetLastError(ERROR_INVALID_DATA);
  }
  return std::move(result.block);
}
