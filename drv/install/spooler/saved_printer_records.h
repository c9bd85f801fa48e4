// Records of the printers a reinstall has taken out and not yet put back, kept in the machine's
// registry so that a run ended by force (a time limit, a power cut) loses none of them: the
// next install finds them and brings the printers back with their settings.
//
// HKLM\Software\Morvane Software KFT\vexaWriter\SavedPrinters holds one key per printer, named
// as the printer, with "Comment" and "Location" (REG_SZ, when the printer had them), "Default"
// (REG_DWORD, 1 when it was the default printer) and, written last so that only a whole record
// counts, "SubKey" (REG_SZ, the name of its per-user settings key). Every change is flushed to
// disk before the run goes on. Only administrators can write below HKLM\Software. Nothing here
// reports an error: a record that cannot be written or removed leaves the run as it would be
// without records.
#pragma once

#include <windows.h>
#include <winspool.h>

struct InstallState;
struct SavedPrinter;

// For a reinstall, at the start of the printers' removal: takes the records an unfinished
// earlier run left, logs one line per printer and pushes a SavedPrinter node for each whose
// printer is gone or is still one of ours; a record's settings win over those the printer now
// has, which such a run may have left half made.
void RecoverPrinterRecords(InstallState& state);
// What SavePrinterSubKey does, and during a reinstall the record written once the printer's
// node is made, before it is deleted. A printer recovered from a record is saved already.
bool SavePrinterWithRecord(InstallState& state, PRINTER_INFO_2W& record);
// Once the node's printer has been created again with its settings.
void DropPrinterRecord(const SavedPrinter& node);
// At the end of a reinstall, and in an uninstall: no record is left.
void DropAllPrinterRecords();
