// PrinterSnapshot: one level-2 listing of the local printers and connections, owned as a single
// global-memory block; SavedPrinter: a removed printer of ours with its "SubKey" settings name,
// pointing into the snapshot.
#pragma once

#include <windows.h>
#include <winspool.h>

struct InstallState;

struct PrinterSnapshot {
  PRINTER_INFO_2W* records;
  DWORD count;
};

struct SavedPrinter {
  char* subKey;
  PRINTER_INFO_2W* printer;
  SavedPrinter* next;
};

void TakePrinterSnapshot(PrinterSnapshot& snapshot);
void ReleasePrinterSnapshot(PrinterSnapshot& snapshot);
void MarkDefaultPrinter(InstallState& state);
void FreeSavedPrinters(SavedPrinter*& head);
