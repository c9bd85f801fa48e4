// The folder of the log file, and the checks that keep every other account away from it.
//
// The folder is one that no account but the one running the program, the system account and
// the Administrators group can write. For the system account it is the program's own folder
// "vexaWriter-logs" under the common application data folder, on every system version (not the
// platform's system-only temporary folder, which administrators cannot open to read a failed
// deployment's log), created with an access list of its own (the system account and
// Administrators, full control, nothing inherited) and used, when it exists already, only as the
// checks below allow. When it fails them (another account made it first), the run uses a folder
// it makes itself with the same access list under a name no one can guess ("vexaWriter-logs-"
// and 32 random hexadecimal digits), recorded in the value "LogFolder" of
// HKLM\Software\Morvane Software KFT\vexaWriter (which only administrators and the system
// account can write) so that later runs find it again; a recorded folder is checked again
// each time, and replaced the same way when it fails. For any other account the folder is its
// own temporary folder. The folder and each file opened in it must be owned by one of those
// accounts, grant write access to no one else, be no reparse point (a symbolic link or a
// junction), and be reached under exactly the path meant (no link at any level): the check reads
// the path the open handle really reaches. A file must also have a single name (no hard link).
// The folder stays open, without delete sharing, while files are opened in it, so that it cannot
// be renamed or replaced meanwhile. Nothing here logs, and no open waits: an administrator's own
// programs can reach the temporary folder and put an opportunistic lock on the log, whose break
// would hold an open until they let go, so every open by path asks to fail instead
// (FILE_FLAG_OPEN_REQUIRING_OPLOCK), and the rename goes through the handle the file was
// opened with.
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
  bool OpenChecked(const WString& path);
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
