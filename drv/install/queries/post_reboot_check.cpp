#include "post_reboot_check.h"

#include <windows.h>

#include "files/pending_renames.h"
#include "foundation/install_state.h"
#include "foundation/path_parts.h"
#include "foundation/text_compare.h"
#include "our_files.h"
#include "spooler/spooler_service.h"
#include "state_lifecycle.h"

namespace {

// Searched for in this order, each over the whole table.
const WCHAR* const kDriverFileNames[] = {L"zqvmon64.dll", L"zqvdrv64.dll", L"zqvui64.dll"};

bool PassFindsPendingDriverFile(const OurFiles& ours) {
  PendingRenameTable table;
  ReadPendingRenames(table);
  SweepPendingRenames(table, ours.Paths(), ours.Count());
  return HasPendingDriverFile(table);
}

}  // namespace

bool HasPendingDriverFile(const PendingRenameTable& table) {
  for (const WCHAR* name : kDriverFileNames) {
    for (int pair = 0; pair < table.count; ++pair) {
      const WCHAR* source = table.paths[2 * pair];
      if (table.isFile[2 * pair] == 1 && source != nullptr &&
          EqualsIgnoringAsciiCase(FileNamePart(PathWithoutObjectPrefix(source)), name)) {
        return true;
      }
    }
  }
  return false;
}

bool PostRebootCheck() {
  // The directories our files are in, found as an install finds them; its log stays in memory.
  InstallState state;
  FindRunDirectories(state);
  OurFiles ours(state);
  for (int pass = 0; pass < 2; ++pass) {
    if (!PassFindsPendingDriverFile(ours)) return false;
    // Restart the spooler, so that a file it held may be free for the next pass; no log, no
    // error count.
    SpoolerPause restart(nullptr);
  }
  return true;
}

bool DriverFilePendingNow() {
  PendingRenameTable table;
  ReadPendingRenames(table);
  return HasPendingDriverFile(table);
}
