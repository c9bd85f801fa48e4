// The platform calls that reach other users' sessions, looked up at run time from the system
// directory: the session list and a session user's token (wtsapi32), a user's environment
// (userenv), and starting a program with another token through the secondary logon (advapi32,
// absent before NT 6). Systems without them run the companion as the program's own user, as
// before.
#pragma once

#include <windows.h>
#include <userenv.h>
#include <wtsapi32.h>

#include "../foundation/handles.h"

class SessionServices {
 public:
  // Loads the three libraries and finds each function; false, with the last error set, when
  // one is missing.
  bool Load();

  BOOL(WINAPI* enumerateSessions)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW*, DWORD*) = nullptr;
  void(WINAPI* freeMemory)(PVOID) = nullptr;
  BOOL(WINAPI* queryUserToken)(ULONG, PHANDLE) = nullptr;
  BOOL(WINAPI* createEnvironmentBlock)(LPVOID*, HANDLE, BOOL) = nullptr;
  BOOL(WINAPI* destroyEnvironmentBlock)(LPVOID) = nullptr;
  BOOL(WINAPI* createProcessWithToken)
  (HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
   LPPROCESS_INFORMATION) = nullptr;

 private:
  UniqueLibrary wtsapi_;
  UniqueLibrary userenv_;
  UniqueLibrary advapi_;
};
