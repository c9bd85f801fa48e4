// The records an InstallState holds for its steps: the files still to delete, the printer
// snapshot, and the printers removed with their settings-key name. Plain data; the steps that
// fill and free them live with the pending deletions (files/) and the printers (spooler/).
#pragma once

#include <windows.h>
#include <winspool.h>

// A file whose deletion failed and is still to be done; node and path are global-memory blocks.
struct PendingDeleteNode {
  WCHAR* path;
  PendingDeleteNode* next;
};

// One level-2 listing of the local printers and connections, as a single global-memory block.
struct PrinterSnapshot {
  PRINTER_INFO_2W* records;
  DWORD count;
};

// A removed printer of ours with its "SubKey" settings name, pointing into the snapshot, or,
// for a printer brought back from the record of an unfinished run, into `recovered`: the
// global-memory block that holds its record, owned by the node.
struct SavedPrinter {
  char* subKey;
  PRINTER_INFO_2W* printer;
  SavedPrinter* next;
  void* recovered;
};
