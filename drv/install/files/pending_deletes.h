// PendingDeleteList: files whose deletion failed and is still to be done. Nodes and their path
// copies are global-memory blocks; new nodes go in at the head; no path is held twice (exact,
// case-sensitive comparison). FreePendingDeletes (install_records.h) empties it.
#pragma once

#include <windows.h>

#include "../foundation/install_records.h"

struct InstallState;

void AddPendingDelete(PendingDeleteNode*& head, const WCHAR* path);
void RetryPendingDeletes(InstallState& state);
// Hands every listed file to the platform for deletion at the next reboot and empties the list;
// returns how many the platform accepted.
unsigned ScheduleDeletesAtReboot(InstallState& state);
