// The host build's <userenv.h>: a user's environment block, found at run time.
#pragma once

#include <windows.h>

namespace winsim {
BOOL WINAPI CreateEnvironmentBlock(LPVOID* lpEnvironment, HANDLE hToken, BOOL bInherit);
BOOL WINAPI DestroyEnvironmentBlock(LPVOID lpEnvironment);
}  // namespace winsim
