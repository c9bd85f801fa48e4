// The second half of "onInit": is the default printer something other than one of ours?
#include "../foundation/handles.h"
#include "../foundation/product.h"
#include "../foundation/text_compare.h"
#include "../spooler/default_printer.h"
#include "../spooler/printer_info.h"
#include "queries.h"

namespace {
constexpr DWORD kDefaultNameUnits = 260;
}  // namespace

bool QueryDefaultNotOurs() {
  WCHAR name[kDefaultNameUnits] = {};
  DWORD capacity = kDefaultNameUnits;
  DefaultPrinterOperations operations;
  // What the buffer holds decides, not the result: a name that does not fit leaves it empty.
  operations.GetDefault(name, &capacity);
  name[kDefaultNameUnits - 1] = 0;
  if (name[0] == 0) return true;
  UniquePrinter printer;
  if (!OpenPrinterW(name, printer.put(), nullptr)) return true;
  UniqueGlobalBlock info = FetchPrinterInfo(printer.get());
  return !info ||
         !IsExactName(static_cast<const PRINTER_INFO_2W*>(info.get())->pDriverName, kDriverName);
}
