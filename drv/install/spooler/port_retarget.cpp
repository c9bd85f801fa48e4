#include "port_retarget.h"

#include <string.h>

#include "../foundation/handles.h"
#include "../foundation/install_log.h"
#include "../foundation/install_state.h"

namespace {

bool IsBlank(WCHAR c) {
  return c == L' ';
}

// Compares the entry that begins at `text` with `port`: the port's characters, then only
// blanks up to the next comma or the end.
bool EntryEquals(const WCHAR* text, const WCHAR* port) {
  for (; *port != 0; ++text, ++port) {
    if (*text != *port) return false;  // also stops at the list's end
  }
  while (IsBlank(*text)) ++text;
  return *text == L',' || *text == 0;
}

DWORD Length(const WCHAR* text) {
  DWORD length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace

bool FindPortEntry(const WCHAR* ports, const WCHAR* port, DWORD& offset) {
  if (ports == nullptr) return false;
  DWORD position = 0;
  for (;;) {
    while (IsBlank(ports[position])) ++position;
    if (EntryEquals(ports + position, port)) {
      offset = position;
      return true;
    }
    while (ports[position] != L',' && ports[position] != 0) ++position;
    if (ports[position] == 0) return false;
    ++position;  // past the comma
  }
}

bool IsPortEntryAt(const WCHAR* ports, DWORD offset, const WCHAR* port) {
  if (ports == nullptr || offset > Length(ports)) return false;
  DWORD start = offset;
  while (start > 0 && IsBlank(ports[start - 1])) --start;
  if (start > 0 && ports[start - 1] != L',') return false;
  return EntryEquals(ports + offset, port);
}

void ReplacePortEntry(WCHAR* ports, DWORD offset, const WCHAR* from, const WCHAR* to) {
  DWORD fromLength = Length(from);
  DWORD toLength = Length(to);
  WCHAR* tail = ports + offset + fromLength;
  DWORD tailUnits = Length(tail) + 1;  // with the terminator
  memmove(ports + offset + toLength, tail, tailUnits * sizeof(WCHAR));
  memcpy(ports + offset, to, toLength * sizeof(WCHAR));
}

void StorePrinterRecord(InstallState& state, PRINTER_INFO_2W& record) {
  const WCHAR* shownName = record.pPrinterName != nullptr ? record.pPrinterName : L"*";
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  UniquePrinter printer;
  // A null name would open the print server rather than the printer.
  if (record.pPrinterName == nullptr ||
      !OpenPrinterW(record.pPrinterName, printer.put(), &defaults)) {
    LogLine(state, L"Can't open printer %s", shownName);
    return;
  }
  if (SetPrinterW(printer.get(), 2, reinterpret_cast<LPBYTE>(&record), 0)) {
    LogLine(state, L"SetPrinter(%s) - ok", shownName);
  } else {
    LogLine(state, L"SetPrinter(%s) - failed", shownName);
  }
}
