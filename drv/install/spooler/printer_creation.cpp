#include "printer_creation.h"

#include "../foundation/error_codes.h"
#include "../foundation/handles.h"
#include "../foundation/install_log.h"
#include "../foundation/install_state.h"
#include "../foundation/product.h"
#include "default_printer.h"
#include "foundation/text_compare.h"
#include "monitor_list.h"
#include "printer_info.h"
#include "saved_printer_records.h"

namespace {

constexpr char kSettingsRoot[] = "Software\\Morvane Software KFT\\vexaWriter";
constexpr char kSettingsPrefix[] = "vexaWriters\\";
constexpr int kSettingsPrefixLength = sizeof(kSettingsPrefix) - 1;
// The read-back settings key name goes right behind kSettingsPrefix in a buffer of this size.
constexpr int kSettingsKeyBytes = 260;
// Room for the root, its separator and a whole settings key path.
constexpr int kSettingsPathBytes = sizeof(kSettingsRoot) + kSettingsKeyBytes;

// The check only informs the log: the printer is added whether or not the monitor is there.
void LogOurMonitorCheck(InstallState& state) {
  LogLine(state, L"Let's check our port monitors");
  MonitorList monitors = ListMonitors(state);
  if (FindOurMonitor(monitors) >= 0) {
    LogLine(state, L"Port monitor (%s) is found", state.environment);
    return;
  }
  LogLine(state, L"No vexaWriter port monitor (%s) was found.", state.environment);
  if (monitors.count != 0) {
    LogMonitorList(state, monitors);
  } else {
    LogLine(state, L"BTW, there is no port monitors on this system.");
  }
}

HANDLE AddOurPrinter(const WCHAR* name) {
  // A null name is refused here rather than left to the spooler's reading of it.
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  PRINTER_INFO_2W info = {};
  info.pPrinterName = const_cast<LPWSTR>(name);
  info.pPortName = const_cast<LPWSTR>(kMonitorName);
  info.pDriverName = const_cast<LPWSTR>(kDriverName);
  info.pComment = const_cast<LPWSTR>(L"");
  info.pPrintProcessor = const_cast<LPWSTR>(L"WinPrint");
  // A null data type leaves the choice to the print processor.
  return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
}

// Appends `text` behind the `length` bytes already in `buffer`; false, with nothing appended,
// when it would not fit with its terminator.
bool AppendText(char* buffer, int capacity, int& length, const char* text) {
  int more = lstrlenA(text);
  if (more >= capacity - length) return false;
  lstrcpynA(buffer + length, text, more + 1);
  length += more;
  return true;
}

// The mark is taken off the key named by what the new printer reports back, so that it is the
// key the printer will actually use.
void RestoreSettingsKey(HANDLE printer, const char* subKey) {
  if (!WritePrinterSubKey(printer, subKey)) return;
  char key[kSettingsKeyBytes] = {};
  lstrcpynA(key, kSettingsPrefix, kSettingsKeyBytes);
  ReadPrinterSubKey(printer, key + kSettingsPrefixLength);
  if (key[kSettingsPrefixLength] != 0) ClearDeletedMark(key);
}

void RestoreDescription(HANDLE printer, const PRINTER_INFO_2W& saved) {
  UniqueGlobalBlock block = FetchPrinterInfo(printer);
  if (!block) return;
  auto* info = static_cast<PRINTER_INFO_2W*>(block.get());
  info->pComment = saved.pComment;
  info->pLocation = saved.pLocation;
  SetPrinterW(printer, 2, static_cast<LPBYTE>(block.get()), 0);
  // Without a name the operation would pick a printer of its own choosing.
  if ((saved.Attributes & PRINTER_ATTRIBUTE_DEFAULT) != 0 &&
      IsExactName(saved.pDriverName, kDriverName) && info->pPrinterName != nullptr) {
    DefaultPrinterOperations operations;
    operations.SetDefault(info->pPrinterName);
  }
}

}  // namespace

HANDLE CreatePrinter(InstallState& state, const WCHAR* name) {
  const WCHAR* shownName = name != nullptr ? name : L"*";
  LogLine(state, L"#AddPrinter(%s)", shownName);
  ++state.indent;
  LogOurMonitorCheck(state);
  HANDLE printer = AddOurPrinter(name);
  if (printer != nullptr) {
    LogLine(state, L"OK :)");
  } else {
    ReportError(state, kErrorAddPrinter, kMessageAddPrinter, shownName);
  }
  --state.indent;
  return printer;
}

bool WritePrinterSubKey(HANDLE printer, const char* subKey) {
  char valueName[] = "SubKey";
  char* text = const_cast<char*>(subKey != nullptr ? subKey : "");
  DWORD bytes = static_cast<DWORD>(lstrlenA(text)) + 1;
  SetPrinterDataA(printer, valueName, REG_SZ, reinterpret_cast<LPBYTE>(text), bytes);
  return SetPrinterDataExA(printer, "DsUser", valueName, REG_SZ, reinterpret_cast<LPBYTE>(text),
                           bytes) == ERROR_SUCCESS;
}

void ClearDeletedMark(const char* relativePath) {
  if (relativePath == nullptr) return;
  char path[kSettingsPathBytes] = {};
  int length = 0;
  // A path that does not fit would name another key: nothing is touched then.
  if (!AppendText(path, kSettingsPathBytes, length, kSettingsRoot) ||
      !AppendText(path, kSettingsPathBytes, length, "\\") ||
      !AppendText(path, kSettingsPathBytes, length, relativePath)) {
    return;
  }
  UniqueRegistryKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) {
    return;
  }
  RegDeleteValueA(key.get(), "deleted");
}

void RestorePrinters(InstallState& state) {
  unsigned restored = 0;
  for (SavedPrinter* node = state.savedPrinters; node != nullptr; node = node->next) {
    UniquePrinter printer(CreatePrinter(state, node->printer->pPrinterName));
    if (!printer) continue;
    // The settings key last: a printer that has it is complete, and a record left by a run
    // ended before then fills in the rest.
    RestoreDescription(printer.get(), *node->printer);
    RestoreSettingsKey(printer.get(), node->subKey);
    DropPrinterRecord(*node);
    ++restored;
  }
  // A printer of ours the removal kept counts as present; a connection to a print server's
  // printer does not: it prints on the server, and this machine still has none of its own.
  if (restored == 0 && state.keptPrinters == 0) {
    UniquePrinter fallback(CreatePrinter(state, kFallbackPrinterName));
  }
}
