// kernel32, the running process: its command line, its module path, its current directory, the
// system directory, its account's temporary folder, its environment variables, the DLL search
// order, and module handles.
#pragma once

#include "winsim/api/base.h"

LPWSTR WINAPI GetCommandLineW(void);
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize);
DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer);
BOOL WINAPI SetCurrentDirectoryW(LPCWSTR lpPathName);
DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);
DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize);

// The LOAD_LIBRARY_SEARCH_* flags are with the module calls (kernel_modules.h).
BOOL WINAPI SetDefaultDllDirectories(DWORD DirectoryFlags);

BOOL WINAPI FreeLibrary(HMODULE hLibModule);
