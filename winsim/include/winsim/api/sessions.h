// kernel32, advapi32 and user32: other processes and their tokens, starting a program with a
// user's token, opening a named mutex, and the session's shell window. Each process belongs to
// the session of the token it was started with; unprefixed and "Local\" object names, and
// top-level windows, are seen only within a session.
#pragma once

#include "winsim/api/base.h"
#include "winsim/api/kernel_process_creation.h"
#include "winsim/api/kernel_sync.h"

#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#define MUTANT_QUERY_STATE 0x0001

DWORD WINAPI GetCurrentProcessId(void);
HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId);
// STILL_ACTIVE while the process runs.
BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
// Only the system account may hand a token to a new process (ERROR_PRIVILEGE_NOT_HELD for
// others). The process runs in the token's session as the token's account.
BOOL WINAPI CreateProcessAsUserW(HANDLE hToken, LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                                 LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                 LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                                 DWORD dwCreationFlags, LPVOID lpEnvironment,
                                 LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                                 LPPROCESS_INFORMATION lpProcessInformation);
HANDLE WINAPI OpenMutexW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);

HWND WINAPI GetShellWindow(void);
DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId);

namespace winsim {
// advapi32's export found at run time: administrators and the system account (who hold the
// impersonation right) start a program with a token through the secondary logon.
BOOL WINAPI CreateProcessWithTokenW(HANDLE hToken, DWORD dwLogonFlags, LPCWSTR lpApplicationName,
                                    LPWSTR lpCommandLine, DWORD dwCreationFlags,
                                    LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                                    LPSTARTUPINFOW lpStartupInfo,
                                    LPPROCESS_INFORMATION lpProcessInformation);
}  // namespace winsim
