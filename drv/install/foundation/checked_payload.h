// The payload's folders and files as the check at the start of an install or uninstall opened
// them (trusted_path.h), held for the rest of the run.
//
// The folders stay open without delete sharing, so that neither can be renamed or replaced by a
// link while the run works in them; the files stay open for reading only, so that what is copied
// is what was checked. A file the check could not open keeps the error of that open, which the
// copy then reports. Owns its handles; Release closes them.
#pragma once

#include <windows.h>

#include "handles.h"

class CheckedPayload {
 public:
  static constexpr int kFolders = 2;
  static constexpr int kFiles = 5;

  // Marks the record as filled by a check (even one that holds nothing).
  void MarkChecked() { checked_ = true; }
  bool checked() const { return checked_; }
  void HoldFolder(UniqueFile folder);
  // A checked file's handle, or the error its open failed with (null handle); a null name for
  // a file only held, never read.
  void HoldFile(const WCHAR* name, UniqueFile file, DWORD openError);
  // A new handle that reads the named file from its start, made from the checked handle, not
  // from the path. A null handle with the last error set when the check could not open it, or
  // when it did not look at that name (ERROR_FILE_NOT_FOUND).
  UniqueFile OpenForReading(const WCHAR* name) const;
  void Release();

 private:
  struct File {
    const WCHAR* name = nullptr;
    UniqueFile handle;
    DWORD openError = 0;
  };
  bool checked_ = false;
  int folderCount_ = 0;
  int fileCount_ = 0;
  UniqueFile folders_[kFolders];
  File files_[kFiles];
};
