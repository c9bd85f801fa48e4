// Calls where a platform is known to lack a feature: purging a printer's jobs, and adding a
// printer without a data type. Runs last, because a failed add may leave a printer behind that
// cannot be opened.
#include "probe.h"

#include <winspool.h>

namespace {

HANDLE AddFilePrinter(const WCHAR* name, const WCHAR* datatype) {
  PRINTER_INFO_2W info = {};
  info.pPrinterName = const_cast<LPWSTR>(name);
  info.pPortName = const_cast<LPWSTR>(L"FILE:");
  info.pDriverName = const_cast<LPWSTR>(PROBE_DRIVER);
  info.pPrintProcessor = const_cast<LPWSTR>(L"WinPrint");
  info.pDatatype = const_cast<LPWSTR>(datatype);
  return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
}

}  // namespace

void ProbeDeviations() {
  ObserveCall("dev.add_driver",
              AddProbeDriver(PROBE_DRIVER, PROBE_DIR L"\\zqvdrv64.dll", APD_COPY_ALL_FILES));
  HANDLE printer = AddFilePrinter(PROBE_PRINTER_B, L"RAW");
  ObserveCall("dev.add_printer", printer != nullptr);
  if (printer != nullptr) {
    ObserveCall("dev.purge", SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE));
    ObserveCall("dev.delete_printer", DeletePrinter(printer));
    ClosePrinter(printer);
  }
  printer = AddFilePrinter(PROBE_PRINTER_C, nullptr);
  ObserveCall("dev.add_null_datatype", printer != nullptr);
  if (printer != nullptr) {
    DeletePrinter(printer);
    ClosePrinter(printer);
  }
}
