// kernel32: the Windows version the program is told.
#include <windows.h>

#include <string.h>

#include "winsim/processes.h"

using winsim::Machine;

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  // Only the plain record is modelled; the platform also accepts the extended one.
  if (lpVersionInformation == nullptr ||
      lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const winsim::Processes::OsVersion& version = Machine::Current().processes().osVersion;
  lpVersionInformation->dwMajorVersion = version.major;
  lpVersionInformation->dwMinorVersion = version.minor;
  lpVersionInformation->dwBuildNumber = version.build;
  lpVersionInformation->dwPlatformId = version.platformId;
  memset(lpVersionInformation->szCSDVersion, 0, sizeof(lpVersionInformation->szCSDVersion));
  strncpy(lpVersionInformation->szCSDVersion, version.servicePack.c_str(),
          sizeof(lpVersionInformation->szCSDVersion) - 1);
  winsim::PoisonLastError();
  return TRUE;
}
