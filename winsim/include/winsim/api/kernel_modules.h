// kernel32: loading system libraries, finding their exports at run time, and the DLL search
// path.
#pragma once

#include "winsim/api/base.h"

#ifndef LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#define LOAD_LIBRARY_SEARCH_APPLICATION_DIR 0x00000200
#define LOAD_LIBRARY_SEARCH_USER_DIRS 0x00000400
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
#endif

HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
// Only kernel32 is always loaded; its handle is not counted and is never freed.
HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
BOOL WINAPI SetDllDirectoryW(LPCWSTR lpPathName);
// lpProcName is an export's name, or its ordinal in the low word (MAKEINTRESOURCEA).
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
