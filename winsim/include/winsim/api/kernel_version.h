// kernel32: the Windows version, as GetVersionExA reports it to a program without a
// compatibility manifest entry for later systems.
#pragma once

#include "winsim/api/base.h"

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct _OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;

static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA as on Windows");

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
