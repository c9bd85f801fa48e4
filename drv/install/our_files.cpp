#include "our_files.h"

#include "foundation/text_compare.h"
#include "tray/tray.h"

OurFiles::OurFiles(const InstallState& state) {
  const WCHAR* names[] = {state.monitorFile, state.driverFile, state.uiFile, state.helpFile};
  WString versionDir = state.driverDir.Copy();
  if (versionDir.Length() != 0) versionDir.Append(L"3\\");
  const WString* directories[] = {&state.systemDir, &state.driverDir, &versionDir};
  for (const WString* directory : directories) {
    if (directory->Length() == 0 || !StartsAtDriveRoot(directory->Text())) continue;
    for (const WCHAR* name : names) {
      if (name == nullptr) continue;
      WString path = directory->Copy();
      path.Append(name);
      if (path.Length() == directory->Length() + lstrlenW(name)) Add(static_cast<WString&&>(path));
    }
  }
  Add(TrayPath(state.moduleDir));
}

void OurFiles::Add(WString path) {
  // A directory (a file name the heap could not add) or a path not from a drive's root names
  // nothing of ours.
  uint64_t length = path.Length();
  if (count_ == kMaxPaths || length == 0 || path.Text()[length - 1] == L'\\' ||
      !StartsAtDriveRoot(path.Text())) {
    return;
  }
  storage_[count_] = static_cast<WString&&>(path);
  paths_[count_] = storage_[count_].Text();
  ++count_;
}
