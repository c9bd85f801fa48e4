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
// True for a connection to a print server's printer ("\\server\printer"): the record names its
// server, or carries the network attribute without the local one. Its queue, port and settings
// are the server's, so the installer never deletes or changes it, and could not add it again.
bool IsPrinterConnection(const PRINTER_INFO_2W& record);
// Takes the state's snapshot and sets PRINTER_ATTRIBUTE_DEFAULT on every record whose name is
// exactly the default printer's.
void MarkDefaultPrinter(InstallState& state);
