#include "printer_snapshot.h"

void ReleasePrinterSnapshot(PrinterSnapshot& snapshot) {
  if (snapshot.records != nullptr) GlobalFree(snapshot.records);
  snapshot.records = nullptr;
  snapshot.count = 0;
}

void FreeSavedPrinters(SavedPrinter*& head) {
  while (head != nullptr) {
    SavedPrinter* next = head->next;
    GlobalFree(head->subKey);
    GlobalFree(head);
    head = next;
  }
}
