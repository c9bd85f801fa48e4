// Records of the printers a reinstall has taken out and not yet put back, kept in the machine's
// registry so that a run ended by force (a time limit, a power cut) loses none of them: the
// next install finds them and brings the printers back with their settings.
//
// HKLM\Software\Morvane Software KFT\vexaWriter\SavedPrinters holds one key per printer, named
// as the printer, with "Comment" and "Location" (REG_SZ, when the printer had them), "Default"
// (REG_DWORD, 1 when it was the default printer) and, written last so that only a whole record
// counts, "SubKey" (REG_SZ, the name of its per-user settings key). The records of a run are
// flushed to disk once, all together, before its first printer is deleted. Only administrators
// can write below HKLM\Software. Nothing here reports an error: a record that cannot be written
// or removed leaves the run as it would be without records.
//
// The printers' removal and re-creation call in here; nothing here calls them.
#pragma once

#include <windows.h>
#include <winspool.h>

struct InstallState;
struct SavedPrinter;

// For a reinstall, at the start of the printers' removal: takes the records an unfinished
// earlier run left, and pushes a SavedPrinter node, with one log line, for each whose printer is
// gone, or is one of ours without its settings key (that run's half-made re-creation). A
// printer of ours that has its settings key keeps what it has: the user may have made or
// changed it since.
void RecoverPrinterRecords(InstallState& state);
// The printer has a node from a record: it is saved already.
bool IsRecoveredPrinter(const InstallState& state, const WCHAR* name);
// Writes the record of a node just saved; true when a whole record stands. Not yet on disk.
bool WritePrinterRecord(const SavedPrinter& node);
// Puts every record written so far on disk: one flush of the hive for them all.
void FlushPrinterRecords();
// Once the node's printer has been created again with its settings.
void DropPrinterRecord(const SavedPrinter& node);
// At the end of a reinstall, and in an uninstall (`durable`: on disk at once): no record is
// left, and the vendor keys the records made go too when nothing else is in them.
void DropAllPrinterRecords(bool durable);
