// Operations whose parts are not built yet: each does nothing until its part lands, and is
// removed from this file then.
#include "files/pending_deletes.h"
#include "files/post_reboot_check.h"
#include "foundation/install_state.h"
#include "queries/queries.h"
#include "sequences.h"
#include "tray/tray.h"

void ReInstall(InstallState&) {}
void FullUninstall(InstallState&) {}
void StopTray() {}
bool QueryDriverBuild() {
  return false;
}
bool QueryDefaultNotOurs() {
  return false;
}
void SetOurPrinterDefault() {}
bool PostRebootCheck() {
  return false;
}

// TEMPORARY stand-in for the logged file copy, until its own file lands on main; delete this
// block then. It writes the same one line per copy, opens the destination once (no retries)
// and copies in one pass.
#include "foundation/handles.h"
#include "foundation/install_log.h"
#include "foundation/wstring.h"
#include "spooler/file_copy.h"

namespace {
WString JoinPath(const WCHAR* directory, const WCHAR* fileName) {
  WString path;
  path.Assign(directory);
  if (path.Length() != 0 && path.Text()[path.Length() - 1] != L'\\') path.Append(L"\\");
  path.Append(fileName);
  return path;
}
}  // namespace

HRESULT CopyIntoDirectory(InstallState& state, const WCHAR* targetDir, const WCHAR* fileName,
                          WCHAR* destinationOut, bool reportErrors) {
  WString line;
  line.Format(L"CopyFile %s to %s)", fileName, targetDir);
  ++state.indent;
  WString source = JoinPath(state.moduleDir.Text(), fileName);
  WString destination = JoinPath(targetDir, fileName);
  if (destinationOut != nullptr)
    lstrcpynW(destinationOut, destination.Text(), kDestinationPathUnits);
  int stage = 0;
  UniqueFile in(CreateFileW(source.Text(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr));
  if (!in) {
    stage = 10;
    line.Append(L" Cant't open source file");
  } else {
    UniqueFile out(CreateFileW(destination.Text(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, 0, nullptr));
    if (!out) {
      stage = 9;
      line.Append(L" Cant't open destination file");
    } else {
      BYTE buffer[8192];
      DWORD read = 0;
      while (ReadFile(in.get(), buffer, sizeof(buffer), &read, nullptr) && read != 0) {
        DWORD written = 0;
        if (!WriteFile(out.get(), buffer, read, &written, nullptr) || written != read) {
          stage = 8;
          line.Append(L"Copy Error");
          break;
        }
      }
    }
  }
  line.Append(stage == 0 ? L"- OK" : L"- FAILED!");
  if (reportErrors && stage != 0) {
    ReportError(state, stage, L"%s", line.Text());
  } else {
    AppendIndented(state, line.Text());
  }
  --state.indent;
  return stage == 0 ? S_OK : E_FAIL;
}

// TEMPORARY stand-in for the spooler restart, until spooler service control lands on main;
// delete this block then. It writes the guard's heading and restarts nothing.
#include "spooler/spooler_service.h"

SpoolerPause::SpoolerPause(InstallState* state) : state_(state) {
  if (state_ != nullptr) LogLine(*state_, L"#Restart Spooler");
}

SpoolerPause::~SpoolerPause() {}
