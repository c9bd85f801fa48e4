// FetchDriverInfo: the x64 driver description of an open printer, read with the spooler's
// two-call pattern.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "../foundation/handles.h"

// The printer's DRIVER_INFO_2W for "Windows x64" with its strings, or an empty block (the last
// error says why; E_OUTOFMEMORY when the block could not be had).
UniqueGlobalBlock FetchDriverInfo(HANDLE printer);
