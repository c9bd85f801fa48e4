// "onChkDrv": is the driver of our first printer recent enough?
#include "../foundation/handles.h"
#include "../foundation/product.h"
#include "../spooler/file_build_number.h"
#include "driver_info.h"
#include "our_printers.h"
#include "queries.h"

bool QueryDriverBuild() {
  QuerySnapshot snapshot;
  const PRINTER_INFO_2W* ours = snapshot.FirstOfOurs();
  // A null name would open the print server; only the first of our printers is ever asked.
  if (ours == nullptr || ours->pPrinterName == nullptr) return false;
  UniquePrinter printer;
  if (!OpenPrinterW(ours->pPrinterName, printer.put(), nullptr)) return false;
  UniqueGlobalBlock driver = FetchDriverInfo(printer.get());
  if (!driver) return false;
  const WCHAR* driverPath = static_cast<const DRIVER_INFO_2W*>(driver.get())->pDriverPath;
  // An unreadable version (-1) counts as outdated.
  return driverPath != nullptr && FileBuildNumber(driverPath) > kNewestOutdatedDriverBuild;
}
