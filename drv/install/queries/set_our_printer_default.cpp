// "def.set": our first printer becomes the default, whichever printer was before.
#include "../spooler/default_printer.h"
#include "our_printers.h"
#include "queries.h"

void SetOurPrinterDefault() {
  QuerySnapshot snapshot;
  const PRINTER_INFO_2W* ours = snapshot.FirstOfOurs();
  // Without a name the operation would choose a printer of its own.
  if (ours == nullptr || ours->pPrinterName == nullptr) return;
  DefaultPrinterOperations operations;
  operations.SetDefault(ours->pPrinterName);
}
