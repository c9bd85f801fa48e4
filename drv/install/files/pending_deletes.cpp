#include "pending_deletes.h"

void FreePendingDeletes(PendingDeleteNode*& head) {
  while (head != nullptr) {
    PendingDeleteNode* next = head->next;
    GlobalFree(head->path);
    GlobalFree(head);
    head = next;
  }
}
