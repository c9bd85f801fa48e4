// The records an InstallState holds for its steps: the files still to delete, the printer
// snapshot, and the printers removed with their settings-key name. Plain global-memory data:
// the steps that fill them live with the pending deletions (files/) and the printers
// (spooler/); freeing them needs nothing but the records, so it sits here, below the state
// that owns them.
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

// Each frees the node or the whole list or block and leaves the owner's pointer null (the
// snapshot also with count 0); safe on an empty owner.
void FreePendingDeleteNode(PendingDeleteNode* node);
void FreePendingDeletes(PendingDeleteNode*& head);
void ReleasePrinterSnapshot(PrinterSnapshot& snapshot);
void FreeSavedPrinters(SavedPrinter*& head);
