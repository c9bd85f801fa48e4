// Removing our printers before the driver goes: each printer of the snapshot that uses the
// driver "vexaWriter printer" first has its "SubKey" printer data saved in a SavedPrinter node
// (pushed at the head of the state's list), and is then deleted with its queued jobs. During a
// reinstall (checkMonitorVersion) a printer whose settings could not be saved is not deleted:
// "Can't read the settings of printer <name>, it stays", and counted in keptPrinters. A
// connection to a print server's printer is never deleted: "Printer <name> is a connection to a
// print server, it stays".
#pragma once

#include <windows.h>
#include <winspool.h>

struct InstallState;

// "#DeleteAllPrinters": works on the snapshot taken when the state was built, not a new one.
// A reinstall first saves every printer and writes its record, puts the records on disk, and
// only then deletes.
void RemoveAllPrinters(InstallState& state);
// Pushes a node for the printer when its "SubKey" value can be read and is not empty; logs
// nothing. False when the printer has settings that could not be saved, or may have: it could
// not be opened (other than for being gone), the value not be read, or the node not be made.
bool SavePrinterSubKey(InstallState& state, PRINTER_INFO_2W& record);
// "#DeletePrinter(name)": purges and deletes the printer; errors 16 and 17.
void RemovePrinter(InstallState& state, const WCHAR* printerName);
