// Trust in a folder or a file that a path reaches, for a program that runs with more rights
// than the accounts that might have made or changed what the path names.
//
// Trusted are the system account, Administrators, TrustedInstaller and the account the program
// runs as. A folder or file is trusted when one of them owns it; when no other account may
// write or append to it, add to or delete from it, delete it, change its access list or take it
// over (an entry that only passes on to what is made inside gives nothing to the object itself,
// and a denial gives nothing at all); when it is no reparse point (a symbolic link, a junction,
// a mount point); and when the path its open handle really reaches is the path meant, so that
// no link stands at any level on the way. Every check works on an open handle, and what was
// checked is then used through that handle, never through the path again. Nothing here logs or
// waits.
#pragma once

#include <windows.h>

#include "handles.h"

// The account of the running process, read from its token.
class RunningAccount {
 public:
  bool Read();
  PSID sid() const { return const_cast<PSID>(static_cast<const void*>(token_.user.User.Sid)); }

 private:
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } token_ = {};
};

// The system account, Administrators, TrustedInstaller, or the running account.
bool TrustedAccount(PSID sid, PSID running);
// The handle's final path (GetFinalPathNameByHandleW) is `path`, letter case aside; a trailing
// backslash of `path` is not compared, except for a drive's root.
bool HandleReachesPath(HANDLE object, const WCHAR* path);
// Owned by a trusted account, and no other account may change it (see above); false too when
// its security cannot be read.
bool OnlyTrustedCanChange(HANDLE object, PSID running);

// Opens the folder or the file at `path` as itself (a link at its end is not followed) and
// checks it. A folder is opened to read its attributes and security, sharing reading and
// writing but not deletion: while the handle is open, the folder can be neither renamed nor
// replaced. A file is opened for reading, shared only for reading: it cannot be changed,
// renamed or deleted while the handle is open. Returns the handle when the object is trusted;
// otherwise a null handle, with `refused` true when the object was opened and failed a check,
// false when it could not be opened (the last error tells why).
UniqueFile OpenTrusted(const WCHAR* path, bool folder, PSID running, bool* refused);
