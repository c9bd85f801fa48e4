// The folder of the log file, and the checks that keep every other account away from it.
//
// The folder is one that no account but the one running the program, the system account and
// the Administrators group can write: for the system account the platform's system-only
// temporary folder (GetTempPath2W, looked up at run time) or, on a system without it, the
// program's own folder "vexaWriter-logs" under the common application data folder, created
// with an access list of its own (the system account and Administrators, full control, nothing
// inherited) and used, when it exists already, only as the checks below allow; for any other
// account its own temporary folder. The folder and each file opened in it must be owned by
// one of those accounts, grant write access to no one else, be no reparse point (a symbolic
// link or a junction), and be reached under exactly the path meant (no link at any level): the
// check reads the path the open handle really reaches. A file must also have a single name (no
// hard link). The folder stays open, without delete sharing, while files are opened in it, so
// that it cannot be renamed or replaced meanwhile. Nothing here waits or logs.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "foundation/handles.h"
#include "foundation/wstring.h"

class LogFolder {
 public:
  LogFolder() = default;
  LogFolder(const LogFolder&) = delete;
  LogFolder& operator=(const LogFolder&) = delete;

  // Finds the account's folder, makes the program's own where that is the one, opens it and
  // checks it; false when there is none or a check fails.
  bool Open();
  // Opens (creating it when missing) a file of the folder for appending, with read access to
  // its attributes and security, and checks it; tells its size. Null handle when a check fails.
  UniqueFile OpenForAppending(const WCHAR* name, uint64_t& size) const;
  // Renames the file behind an open handle to another name in this folder, by the handle,
  // replacing a file of that name.
  bool RenameByHandle(HANDLE file, const WCHAR* newName) const;

 private:
  bool ReadAccount();
  bool FindPath(WString& path) const;
  bool Trusted(PSID sid) const;
  bool Reaches(HANDLE object, const WString& path) const;
  bool OwnedAndWritableByTrustedOnly(HANDLE object) const;

  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } account_ = {};
  WString path_;  // with a trailing backslash
  UniqueFile folder_;
};
