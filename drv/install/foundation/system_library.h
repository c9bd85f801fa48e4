// Loading a system DLL at run time from the system directory alone.
//
// The installer runs elevated from a folder others may have written to, so a DLL it loads by
// itself is always named by its full path in the system directory (GetSystemDirectoryW), never
// by a bare name that a copy beside the program could answer. The DLLs the loaded one needs
// are searched from the system directory first as well (LOAD_WITH_ALTERED_SEARCH_PATH), on
// every system version. Returns null, with the last error set, when the library cannot be
// loaded; the caller owns the reference (UniqueLibrary).
#pragma once

#include <windows.h>

HMODULE LoadSystemLibrary(const WCHAR* fileName);
