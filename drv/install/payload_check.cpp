#include "payload_check.h"

#include "foundation/error_codes.h"
#include "foundation/install_log.h"
#include "foundation/trusted_path.h"
#include "tray/tray.h"

namespace {

// The path up to and with its last backslash; empty when it has none.
WString FolderOf(const WString& path) {
  uint64_t cut = 0;
  for (uint64_t i = 0; i < path.Length(); ++i) {
    if (path.Text()[i] == L'\\') cut = i + 1;
  }
  WString folder = path.Copy();
  folder.Resize(cut);
  return folder;
}

bool Refuse(InstallState& state, const WString& folder, DWORD error) {
  WString shown = folder.Copy();
  if (shown.Length() > 3 && shown.Text()[shown.Length() - 1] == L'\\') {
    shown.Resize(shown.Length() - 1);
  }
  state.payload.Release();
  state.payload.MarkChecked();
  SetLastError(error);  // the reason an open failed; none for a folder or file that was read
  ReportError(state, kErrorUntrustedFolder, kMessageUntrustedFolder, shown.Text());
  return false;
}

// Checks the folder and the named files in it, and holds what it opened: the files that are
// copied later under their names, the others (copied false) without.
bool CheckFolder(InstallState& state, const WString& folder, const WCHAR* const* names, int count,
                 bool copied, PSID running) {
  // The long form, as the handle's final path gives it (a path may be given in short names).
  WCHAR full[MAX_PATH + 1];
  DWORD length = GetLongPathNameW(folder.Text(), full, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) {
    return Refuse(state, folder, length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
  }
  bool refused = false;
  UniqueFile opened(OpenTrusted(full, true, running, &refused));
  if (!opened) return Refuse(state, folder, refused ? ERROR_SUCCESS : GetLastError());
  state.payload.HoldFolder(static_cast<UniqueFile&&>(opened));
  WString path;
  for (int i = 0; i < count; ++i) {
    path.Assign(full);
    if (path.Length() != 0 && path.Text()[path.Length() - 1] != L'\\') path.Append(L"\\");
    path.Append(names[i]);
    UniqueFile file(OpenTrusted(path.Text(), false, running, &refused));
    if (refused) return Refuse(state, folder, ERROR_SUCCESS);
    DWORD openError = file ? ERROR_SUCCESS : GetLastError();
    state.payload.HoldFile(copied ? names[i] : nullptr, static_cast<UniqueFile&&>(file), openError);
  }
  return true;
}

}  // namespace

bool CheckPayload(InstallState& state, PayloadUse use) {
  state.payload.Release();
  state.payload.MarkChecked();
  if (state.moduleDir.Length() == 0) return true;
  RunningAccount account;
  if (!account.Read()) return Refuse(state, state.moduleDir, GetLastError());
  WString companionFolder = FolderOf(TrayPath(state.moduleDir));
  // The uninstall copies nothing from the program's folder, but it starts the program's own file
  // from there in the users' sessions to stop their companions.
  const WCHAR* payload[] = {state.monitorFile, state.driverFile, state.uiFile, state.helpFile};
  int copied = use == PayloadUse::Install ? 4 : 0;
  if (!CheckFolder(state, state.moduleDir, payload, copied, true, account.sid())) return false;
  if (companionFolder.Length() == 0) return true;  // a drive's root has no folder above it
  WString companion = TrayPath(state.moduleDir);
  const WCHAR* started[] = {companion.Text() + companionFolder.Length()};
  bool starts = use == PayloadUse::Install && state.installTray != 0;
  return CheckFolder(state, companionFolder, started, starts ? 1 : 0, false, account.sid());
}
