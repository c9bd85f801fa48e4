// shell32: command-line splitting.
#pragma once

#include <windows.h>

// Splits a command line by the platform's rules; the result is one LocalAlloc block (the
// pointer array, null-terminated, followed by the texts) that the caller frees with LocalFree.
LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs);
