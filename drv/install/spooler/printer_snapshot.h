// PrinterSnapshot: one level-2 listing of the local printers and connections, owned as a single
// global-memory block; SavedPrinter: a removed printer of ours with its "SubKey" settings name,
// pointing into the snapshot.
//
// The records are edited in place by their users (the default-printer mark, the port text), so
// the snapshot is taken once per run and freed only at its end.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "../foundation/install_records.h"

struct InstallState;

// Frees what the snapshot held and lists the printers again; an empty snapshot when the spooler
// lists nothing or the listing fails (the last error then tells why). No second attempt is made
// when printers change between the two calls.
void TakePrinterSnapshot(PrinterSnapshot& snapshot);
void ReleasePrinterSnapshot(PrinterSnapshot& snapshot);
// Takes the state's snapshot and sets PRINTER_ATTRIBUTE_DEFAULT on every record whose name is
// exactly the default printer's.
void MarkDefaultPrinter(InstallState& state);
void FreeSavedPrinters(SavedPrinter*& head);
