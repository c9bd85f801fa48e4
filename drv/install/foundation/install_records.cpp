#include "install_records.h"

void FreePendingDeleteNode(PendingDeleteNode* node) {
  GlobalFree(node->path);
  GlobalFree(node);
}

void FreePendingDeletes(PendingDeleteNode*& head) {
  while (head != nullptr) {
    PendingDeleteNode* next = head->next;
    FreePendingDeleteNode(head);
    head = next;
  }
}

void ReleasePrinterSnapshot(PrinterSnapshot& snapshot) {
  if (snapshot.records != nullptr) GlobalFree(snapshot.records);
  snapshot.records = nullptr;
  snapshot.count = 0;
}

void FreeSavedPrinters(SavedPrinter*& head) {
  while (head != nullptr) {
    SavedPrinter* next = head->next;
    GlobalFree(head->subKey);
    if (head->recovered != nullptr) GlobalFree(head->recovered);
    GlobalFree(head);
    head = next;
  }
}
