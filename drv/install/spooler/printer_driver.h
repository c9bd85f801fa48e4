// Our printer driver "vexaWriter printer" for the state's environment: staged in the spooler's
// printer-driver directory and added with every file copied, or deleted with all its files.
#pragma once

#include <windows.h>

struct InstallState;
struct DriverList;

// "#Add Printer Driver x64": stages the driver DLL, the UI DLL and the help file (the driver is
// added without a help file when that one cannot be staged), adds the driver (error 13) and
// deletes the staged copies, handing those it cannot delete to the pending-delete list. When
// the driver or UI DLL cannot be staged the driver is not added; the copy's error is the only
// report.
void InstallPrinterDriver(InstallState& state);
// "#DeletePrinterDriver for <environment>": lists `drivers`, deletes ours with all its files,
// once more after a spooler restart when the first attempt fails (error 14 when both fail).
// A driver that is not registered is only logged. When the list is incomplete (the listing
// failed) the deletion is tried all the same; the spooler's "unknown driver" means not there.
void RemovePrinterDriver(InstallState& state, const DriverList& drivers);
