#include "printer_removal.h"

#include "../foundation/error_codes.h"
#include "../foundation/handles.h"
#include "../foundation/install_log.h"
#include "../foundation/install_state.h"
#include "../foundation/product.h"
#include "foundation/text_compare.h"
#include "printer_info.h"
#include "printer_snapshot.h"
#include "saved_printer_records.h"

namespace {

constexpr DWORD kSubKeyBufferBytes = 260;

// The printer's own copy of its settings key name, or null when there is no memory for it.
char* CopySubKey(const char* subKey) {
  SIZE_T bytes = static_cast<SIZE_T>(lstrlenA(subKey)) + 1;
  auto* copy = static_cast<char*>(AllocateZeroedGlobal(bytes));
  if (copy != nullptr) lstrcpynA(copy, subKey, static_cast<int>(bytes));
  return copy;
}

}  // namespace

void RemoveAllPrinters(InstallState& state) {
  LogLine(state, L"#DeleteAllPrinters");
  ++state.indent;
  bool reinstall = state.checkMonitorVersion != 0;
  if (reinstall) RecoverPrinterRecords(state);
  DWORD count = state.printers.count;
  // Per printer of the snapshot, 1 when a reinstall could not save it. Without this block a
  // reinstall saves nothing and removes nothing.
  UniqueGlobalBlock unsavedBlock(reinstall ? AllocateZeroedGlobal(count + 1) : nullptr);
  auto* unsaved = static_cast<BYTE*>(unsavedBlock.get());
  bool recorded = false;
  for (DWORD i = 0; i < count && (!reinstall || unsaved != nullptr); ++i) {
    PRINTER_INFO_2W& record = state.printers.records[i];
    if (!IsExactName(record.pDriverName, kDriverName) || IsPrinterConnection(record)) continue;
    if (reinstall && IsRecoveredPrinter(state, record.pPrinterName)) continue;
    SavedPrinter* before = state.savedPrinters;
    bool saved = SavePrinterSubKey(state, record);
    if (reinstall && !saved) unsaved[i] = 1;
    if (reinstall && state.savedPrinters != before) {
      recorded = WritePrinterRecord(*state.savedPrinters) || recorded;
    }
  }
  // Every record is on disk before the first printer goes, with one flush for them all.
  if (recorded) FlushPrinterRecords();
  for (DWORD i = 0; i < count; ++i) {
    PRINTER_INFO_2W& record = state.printers.records[i];
    if (!IsExactName(record.pDriverName, kDriverName)) continue;
    if (IsPrinterConnection(record)) {
      // Deleting it would delete the print server's printer; it keeps the driver in use.
      LogLine(state, L"Printer %s is a connection to a print server, it stays",
              record.pPrinterName);
      continue;
    }
    if (reinstall && (unsaved == nullptr || unsaved[i] != 0)) {
      // A reinstall puts back only the printers it could save: removing this one would lose
      // its settings for good. It stays, and with it the driver, which the run then reports;
      // being there, it is one of the printers the reinstall leaves.
      LogLine(state, L"Can't read the settings of printer %s, it stays", record.pPrinterName);
      ++state.keptPrinters;
      continue;
    }
    RemovePrinter(state, record.pPrinterName);
  }
  --state.indent;
}

bool SavePrinterSubKey(InstallState& state, PRINTER_INFO_2W& record) {
  UniquePrinter printer;
  if (record.pPrinterName == nullptr) return true;  // a null name would open the print server
  if (!OpenPrinterW(record.pPrinterName, printer.put(), nullptr)) {
    return GetLastError() ==
           ERROR_INVALID_PRINTER_NAME;  // gone since the snapshot: nothing to keep
  }
  char subKey[kSubKeyBufferBytes] = {};
  if (!ReadPrinterSubKey(printer.get(), subKey)) return false;
  if (subKey[0] == 0) return true;
  UniqueGlobalBlock node(AllocateZeroedGlobal(sizeof(SavedPrinter)));
  UniqueGlobalBlock copy(CopySubKey(subKey));
  if (!node || !copy) return false;
  auto* saved = static_cast<SavedPrinter*>(node.release());
  saved->subKey = static_cast<char*>(copy.release());
  saved->printer = &record;
  saved->next = state.savedPrinters;
  state.savedPrinters = saved;
  return true;
}

void RemovePrinter(InstallState& state, const WCHAR* printerName) {
  const WCHAR* shownName = printerName != nullptr ? printerName : L"*";
  LogLine(state, L"#DeletePrinter(%s)", shownName);
  ++state.indent;
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, DELETE | PRINTER_ACCESS_ADMINISTER};
  UniquePrinter printer;
  // A null name would open the print server rather than fail, so it is refused here.
  if (printerName == nullptr) SetLastError(ERROR_INVALID_PRINTER_NAME);
  if (printerName == nullptr ||
      !OpenPrinterW(const_cast<LPWSTR>(printerName), printer.put(), &defaults)) {
    ReportError(state, kErrorOpenPrinter, kMessageOpenPrinter, shownName);
  } else {
    // Queued jobs would keep the printer alive after the deletion; whether the purge worked
    // shows in the deletion's own outcome.
    SetPrinterW(printer.get(), 0, nullptr, PRINTER_CONTROL_PURGE);
    if (DeletePrinter(printer.get())) {
      LogLine(state, L"OK");
    } else {
      ReportError(state, kErrorDeletePrinter, kMessageDeletePrinter, shownName);
    }
  }
  --state.indent;
}
