// Moving printers between our port "vexaWriter:" and "file:" while the port monitor is
// replaced. A printer's port text is a comma-separated list of ports ("LPT1:,vexaWriter:");
// only a whole entry counts, compared exactly after the blanks around it, so a longer port
// name that merely contains ours ("XvexaWriter:") is never taken for it. Entries are edited in
// the record's own string storage and the whole record is then handed back to the spooler.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "../foundation/product.h"

struct InstallState;

constexpr const WCHAR* kOurPort = kMonitorName;  // the monitor serves a port of its own name
constexpr const WCHAR* kFilePort = L"file:";

// Finds the first entry of `ports` equal to `port`; `offset` receives where its text begins,
// in characters. A null list has no entries.
bool FindPortEntry(const WCHAR* ports, const WCHAR* port, DWORD& offset);
// True when the entry whose text begins at `offset` is exactly `port`. Never reads past the
// end of `ports`, whatever the offset.
bool IsPortEntryAt(const WCHAR* ports, DWORD offset, const WCHAR* port);
// Replaces the text `from` at `offset` by `to`, moving the rest of the list and its terminator.
// The caller makes sure that `from` stands there and, when `to` is longer, that the storage
// has room for the difference.
void ReplacePortEntry(WCHAR* ports, DWORD offset, const WCHAR* from, const WCHAR* to);

// Opens the printer with full access and stores the whole record with SetPrinterW at level 2,
// logging "SetPrinter(name) - ok", "SetPrinter(name) - failed" or "Can't open printer name".
void StorePrinterRecord(InstallState& state, PRINTER_INFO_2W& record);
