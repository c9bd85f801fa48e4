#include "checked_payload.h"

void CheckedPayload::HoldFolder(UniqueFile folder) {
  if (folderCount_ < kFolders) folders_[folderCount_++] = static_cast<UniqueFile&&>(folder);
}

void CheckedPayload::HoldFile(const WCHAR* name, UniqueFile file, DWORD openError) {
  if (fileCount_ == kFiles) return;
  File& entry = files_[fileCount_++];
  entry.name = name;
  entry.handle = static_cast<UniqueFile&&>(file);
  entry.openError = openError;
}

UniqueFile CheckedPayload::OpenForReading(const WCHAR* name) const {
  for (int i = 0; i < fileCount_; ++i) {
    const File& entry = files_[i];
    if (entry.name == nullptr || lstrcmpiW(entry.name, name) != 0) continue;
    if (!entry.handle) {
      SetLastError(entry.openError);
      return UniqueFile();
    }
    // Its own file position, on the same open file: a copy made twice reads it whole twice.
    return UniqueFile(ReOpenFile(entry.handle.get(), GENERIC_READ, FILE_SHARE_READ, 0));
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return UniqueFile();
}

void CheckedPayload::Release() {
  for (File& entry : files_) entry = File();
  for (UniqueFile& folder : folders_) folder.reset();
  fileCount_ = 0;
  folderCount_ = 0;
  checked_ = false;
}
