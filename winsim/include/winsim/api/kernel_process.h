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

// Found at run time (GetProcAddress), where kernel32 has it: the machine the process runs as
// (IMAGE_FILE_MACHINE_UNKNOWN when it is not under emulation) and the system's native one.
#define IMAGE_FILE_MACHINE_UNKNOWN 0
#define IMAGE_FILE_MACHINE_AMD64 0x8664
#define IMAGE_FILE_MACHINE_ARM64 0xAA64
BOOL WINAPI IsWow64Process2(HANDLE hProcess, USHORT* pProcessMachine, USHORT* pNativeMachine);

BOOL WINAPI FreeLibrary(HMODULE hLibModule);
