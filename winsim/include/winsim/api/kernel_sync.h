// kernel32: named mutexes and waiting on them.
#pragma once

#include "winsim/api/base.h"
#include "winsim/api/kernel_files.h"

#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                           LPCSTR lpName);
// A name "alias\\object" is looked up in the private namespace the program opened under that
// alias. A new mutex takes the owner and access list of lpMutexAttributes (an owner the
// program's token cannot give: ERROR_INVALID_OWNER), else the token's default owner and no
// access list; opening an existing one is checked against its access list (ERROR_ACCESS_DENIED).
HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                           LPCWSTR lpName);
BOOL WINAPI ReleaseMutex(HANDLE hMutex);
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
