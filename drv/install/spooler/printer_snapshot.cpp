#include "printer_snapshot.h"

#include "../foundation/install_state.h"
#include "default_printer.h"
#include "foundation/text_compare.h"
#include "two_call.h"

namespace {
// Room beyond what the spooler asked for, never announced to it.
constexpr DWORD kSnapshotSlackBytes = 32;
// The longest default-printer name that is looked for, terminator included.
constexpr DWORD kDefaultNameUnits = 255;
}  // namespace

void TakePrinterSnapshot(PrinterSnapshot& snapshot) {
  ReleasePrinterSnapshot(snapshot);
  TwoCallResult result = FetchSpoolerRecords(
      [](LPBYTE buffer, DWORD size, DWORD* needed, DWORD* count) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, buffer,
                             size, needed, count);
      },
      kSnapshotSlackBytes);
  if (result.outcome != TwoCallOutcome::Filled || result.count == 0) return;
  snapshot.records = static_cast<PRINTER_INFO_2W*>(result.block.release());
  snapshot.count = result.count;
}

bool IsPrinterConnection(const PRINTER_INFO_2W& record) {
  bool named = record.pServerName != nullptr && record.pServerName[0] != 0;
  DWORD kind = record.Attributes & (PRINTER_ATTRIBUTE_NETWORK | PRINTER_ATTRIBUTE_LOCAL);
  return named || kind == PRINTER_ATTRIBUTE_NETWORK;
}

void MarkDefaultPrinter(InstallState& state) {
  TakePrinterSnapshot(state.printers);
  WCHAR defaultName[kDefaultNameUnits] = {};
  DWORD capacity = kDefaultNameUnits;
  DefaultPrinterOperations operations;
  if (!operations.GetDefault(defaultName, &capacity)) return;
  for (DWORD i = 0; i < state.printers.count; ++i) {
    PRINTER_INFO_2W& record = state.printers.records[i];
    if (IsExactName(record.pPrinterName, defaultName)) {
      record.Attributes |= PRINTER_ATTRIBUTE_DEFAULT;
    }
  }
}
