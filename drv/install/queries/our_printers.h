// What the query modes share: a printer snapshot of their own, freed on every way out, and the
// first of our printers in it, in the spooler's order.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "../foundation/product.h"
#include "../foundation/text_compare.h"
#include "../spooler/printer_snapshot.h"

class QuerySnapshot {
 public:
  QuerySnapshot() { TakePrinterSnapshot(snapshot_); }
  ~QuerySnapshot() { ReleasePrinterSnapshot(snapshot_); }
  QuerySnapshot(const QuerySnapshot&) = delete;
  QuerySnapshot& operator=(const QuerySnapshot&) = delete;

  // The first printer of the driver "vexaWriter printer", or null.
  const PRINTER_INFO_2W* FirstOfOurs() const {
    for (DWORD i = 0; i < snapshot_.count; ++i) {
      if (IsExactName(snapshot_.records[i].pDriverName, kDriverName)) return &snapshot_.records[i];
    }
    return nullptr;
  }

 private:
  PrinterSnapshot snapshot_ = {nullptr, 0};
};
