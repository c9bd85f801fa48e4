// Reading one open printer: its "SubKey" printer data (the name of its per-user settings key)
// and its level-2 description.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "../foundation/handles.h"

// The size of the buffer ReadPrinterSubKey fills; longer values read as empty.
constexpr DWORD kSubKeyBytes = 64;

// Fills `buffer` (at least kSubKeyBytes bytes) with the REG_SZ value "SubKey", read from the
// plain printer data or else from the key "DsUser", always terminated; an empty string when
// neither holds a terminated REG_SZ value that fits. False when a call failed otherwise than
// by finding no value, so that whether the printer has a settings key is unknown.
bool ReadPrinterSubKey(HANDLE printer, char* buffer);
// The printer's PRINTER_INFO_2W with its strings, or an empty block (the last error says why).
UniqueGlobalBlock FetchPrinterInfo(HANDLE printer);
