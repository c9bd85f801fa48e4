#include "pending_deletes.h"

#include "foundation/handles.h"
#include "foundation/install_log.h"
#include "foundation/install_state.h"
#include "foundation/text_compare.h"

void AddPendingDelete(PendingDeleteNode*& head, const WCHAR* path) {
  for (PendingDeleteNode* node = head; node != nullptr; node = node->next) {
    if (IsExactName(node->path, path)) return;
  }
  SIZE_T bytes = (static_cast<SIZE_T>(lstrlenW(path)) + 1) * sizeof(WCHAR);
  UniqueGlobalBlock copy(AllocateZeroedGlobal(bytes));
  UniqueGlobalBlock node(AllocateZeroedGlobal(sizeof(PendingDeleteNode)));
  // Without memory the file is not remembered: it stays where it is, which is what a failed
  // deletion leaves anyway.
  if (!copy || !node) return;
  lstrcpyW(static_cast<WCHAR*>(copy.get()), path);
  auto* added = static_cast<PendingDeleteNode*>(node.release());
  added->path = static_cast<WCHAR*>(copy.release());
  added->next = head;
  head = added;
}

void RetryPendingDeletes(InstallState& state) {
  LogLine(state, L"DeleteFile-try");
  PendingDeleteNode** link = &state.pendingDeletes;
  while (*link != nullptr) {
    PendingDeleteNode* node = *link;
    if (DeleteFileW(node->path) || GetLastError() == ERROR_FILE_NOT_FOUND) {
      *link = node->next;
      FreePendingDeleteNode(node);
    } else {
      link = &node->next;
    }
  }
}

unsigned ScheduleDeletesAtReboot(InstallState& state) {
  unsigned scheduled = 0;
  for (PendingDeleteNode* node = state.pendingDeletes; node != nullptr; node = node->next) {
    if (MoveFileExW(node->path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) ++scheduled;
  }
  FreePendingDeletes(state.pendingDeletes);
  return scheduled;
}
