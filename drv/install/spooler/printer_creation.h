// Bringing our printers back after a reinstall. CreatePrinter is the one place where a printer
// is added: on our port with our driver, after logging whether our port monitor is present.
// RestorePrinters re-creates the printers saved in the state's SavedPrinter list with their
// settings key name, comment, location and default place, or one printer "vexaWriter" when none
// comes back and the removal kept none in place. A printer's settings key is written last, so
// that a printer that has it is whole.
//
// The SavedPrinter nodes and the snapshot records they point into are read, never changed or
// freed here. Every printer handle these operations open is closed before they return, except
// the one CreatePrinter hands to its caller.
#pragma once

#include <windows.h>
#include <winspool.h>

struct InstallState;

// "#AddPrinter(name)": the new printer's handle, which the caller closes, or null after error 15.
HANDLE CreatePrinter(InstallState& state, const WCHAR* name);
// Writes the "SubKey" printer data plainly and under the key "DsUser"; true when the "DsUser"
// write succeeded. A null text is written as an empty one.
bool WritePrinterSubKey(HANDLE printer, const char* subKey);
// Deletes the value "deleted" of the per-user key at `relativePath` below
// "Software\Morvane Software KFT\vexaWriter"; a key that cannot be opened is left alone.
void ClearDeletedMark(const char* relativePath);
// Re-creates the saved printers, latest removed first; logs only through CreatePrinter.
void RestorePrinters(InstallState& state);
