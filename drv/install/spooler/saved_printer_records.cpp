#include "saved_printer_records.h"

#include "../foundation/handles.h"
#include "../foundation/install_log.h"
#include "../foundation/install_state.h"
#include "../foundation/product.h"
#include "foundation/text_compare.h"
#include "printer_info.h"

namespace {

constexpr WCHAR kRecordsKey[] = L"Software\\Morvane Software KFT\\vexaWriter\\SavedPrinters";
// The keys above the records, deepest first: made by the records' creation, taken away with
// them when nothing else is in them.
constexpr const WCHAR* kVendorKeys[] = {L"Software\\Morvane Software KFT\\vexaWriter",
                                        L"Software\\Morvane Software KFT"};
// The longest name a registry key can have.
constexpr int kMaxKeyName = 255;

// A key of that name can be made: a printer name holding a backslash (a connection's) or
// longer than a key name can be gets no record.
bool NameFitsKey(const WCHAR* name) {
  if (name == nullptr || name[0] == 0) return false;
  int length = 0;
  for (; name[length] != 0; ++length) {
    if (name[length] == L'\\' || length >= kMaxKeyName) return false;
  }
  return true;
}

// Empty when the heap refused the text: a shorter path would name every record at once.
WString RecordPath(const WCHAR* name) {
  WString path;
  path.Assign(kRecordsKey);
  path.Append(L"\\");
  path.Append(name);
  uint64_t expected = static_cast<uint64_t>(lstrlenW(kRecordsKey)) + 1 + lstrlenW(name);
  if (path.Length() != expected) path.Release();
  return path;
}

bool WriteText(HKEY key, const WCHAR* valueName, const WCHAR* text) {
  if (text == nullptr) return true;
  DWORD bytes = static_cast<DWORD>(lstrlenW(text) + 1) * sizeof(WCHAR);
  return RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes) ==
         ERROR_SUCCESS;
}

// Deletes the key when it holds neither values nor keys: another program's value keeps it.
void DeleteKeyWhenEmpty(const WCHAR* path) {
  UniqueRegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  DWORD subKeys = 1;
  DWORD values = 1;
  if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
      subKeys != 0 || values != 0) {
    return;
  }
  key.reset();
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, path);
}

// The spooler takes printer names without regard to letter case.
bool IsSamePrinterName(const WCHAR* a, const WCHAR* b) {
  return a != nullptr && b != nullptr && EqualsIgnoringAsciiCase(a, b);
}

const PRINTER_INFO_2W* FindInSnapshot(const InstallState& state, const WCHAR* name) {
  for (DWORD i = 0; i < state.printers.count; ++i) {
    if (IsSamePrinterName(state.printers.records[i].pPrinterName, name)) {
      return &state.printers.records[i];
    }
  }
  return nullptr;
}

// The size of a REG_SZ value in bytes, even and with room for a terminator; 0 when there is
// none.
DWORD TextBytes(HKEY key, const WCHAR* valueName) {
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      type != REG_SZ || bytes == 0) {
    return 0;
  }
  return (bytes + 1) / 2 * 2 + sizeof(WCHAR);
}

// Reads the text into the zero-filled room made for it; null when it cannot be had as sized.
WCHAR* ReadText(HKEY key, const WCHAR* valueName, BYTE* room, DWORD bytes) {
  if (bytes == 0) return nullptr;
  DWORD type = 0;
  DWORD size = bytes - sizeof(WCHAR);
  if (RegQueryValueExW(key, valueName, nullptr, &type, room, &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return nullptr;
  }
  return reinterpret_cast<WCHAR*>(room);
}

// One block: the printer's PRINTER_INFO_2W as the snapshot would hold it, followed by its name,
// comment and location.
UniqueGlobalBlock ReadRecordedPrinter(HKEY key, const WCHAR* name) {
  DWORD nameBytes = static_cast<DWORD>(lstrlenW(name) + 1) * sizeof(WCHAR);
  DWORD commentBytes = TextBytes(key, L"Comment");
  DWORD locationBytes = TextBytes(key, L"Location");
  UniqueGlobalBlock block(
      AllocateZeroedGlobal(sizeof(PRINTER_INFO_2W) + nameBytes + commentBytes + locationBytes));
  if (!block) return block;
  auto* info = static_cast<PRINTER_INFO_2W*>(block.get());
  BYTE* room = static_cast<BYTE*>(block.get()) + sizeof(PRINTER_INFO_2W);
  info->pPrinterName = reinterpret_cast<WCHAR*>(room);
  lstrcpynW(info->pPrinterName, name, lstrlenW(name) + 1);
  room += nameBytes;
  info->pComment = ReadText(key, L"Comment", room, commentBytes);
  info->pLocation = ReadText(key, L"Location", room + commentBytes, locationBytes);
  info->pDriverName = const_cast<LPWSTR>(kDriverName);
  DWORD isDefault = 0;
  DWORD type = 0;
  DWORD size = sizeof(isDefault);
  if (RegQueryValueExW(key, L"Default", nullptr, &type, reinterpret_cast<BYTE*>(&isDefault),
                       &size) == ERROR_SUCCESS &&
      type == REG_DWORD && isDefault != 0) {
    info->Attributes = PRINTER_ATTRIBUTE_DEFAULT;
  }
  return block;
}

// A printer that reports its settings key; one whose answer is unknown counts as without, so
// that the record decides as it would for the killed run's own re-creation.
bool HasSettingsKey(const WCHAR* name) {
  UniquePrinter printer;
  if (!OpenPrinterW(const_cast<LPWSTR>(name), printer.put(), nullptr)) return false;
  char subKey[kSubKeyBytes] = {};
  return ReadPrinterSubKey(printer.get(), subKey) && subKey[0] != 0;
}

void RecoverPrinter(InstallState& state, HKEY records, const WCHAR* name) {
  const PRINTER_INFO_2W* present = FindInSnapshot(state, name);
  // The name belongs to a printer of another driver now, or to one of ours complete with its
  // settings, which the user may have made or changed since; the record goes at the run's end.
  if (present != nullptr &&
      (!IsExactName(present->pDriverName, kDriverName) || HasSettingsKey(name))) {
    return;
  }
  UniqueRegistryKey key;
  if (RegOpenKeyExW(records, name, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return;
  // Room for the longest key name a printer reports and its terminator, which the record
  // stores with it, and one more byte that stays the terminator whatever the value holds.
  char subKey[kSubKeyBytes + 1] = {};
  DWORD type = 0;
  DWORD size = kSubKeyBytes;
  if (RegQueryValueExA(key.get(), "SubKey", nullptr, &type, reinterpret_cast<BYTE*>(subKey),
                       &size) != ERROR_SUCCESS ||
      type != REG_SZ || subKey[0] == 0) {
    return;  // not a whole record
  }
  UniqueGlobalBlock node(AllocateZeroedGlobal(sizeof(SavedPrinter)));
  UniqueGlobalBlock copy(AllocateZeroedGlobal(static_cast<SIZE_T>(lstrlenA(subKey)) + 1));
  UniqueGlobalBlock printer = ReadRecordedPrinter(key.get(), name);
  if (!node || !copy || !printer) return;
  lstrcpynA(static_cast<char*>(copy.get()), subKey, lstrlenA(subKey) + 1);
  auto* saved = static_cast<SavedPrinter*>(node.release());
  saved->subKey = static_cast<char*>(copy.release());
  saved->printer = static_cast<PRINTER_INFO_2W*>(printer.get());
  saved->recovered = printer.release();
  saved->next = state.savedPrinters;
  state.savedPrinters = saved;
  if (present != nullptr) {
    LogLine(state, L"Printer %s gets back the settings saved by a run that did not finish", name);
  } else {
    LogLine(state, L"Printer %s was removed by a run that did not finish, it comes back", name);
  }
}

}  // namespace

void RecoverPrinterRecords(InstallState& state) {
  UniqueRegistryKey records;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRecordsKey, 0, KEY_READ, records.put()) != ERROR_SUCCESS) {
    return;
  }
  for (DWORD index = 0;; ++index) {
    WCHAR name[kMaxKeyName + 1] = {};
    DWORD length = kMaxKeyName + 1;
    LSTATUS status =
        RegEnumKeyExW(records.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) break;
    RecoverPrinter(state, records.get(), name);
  }
}

bool IsRecoveredPrinter(const InstallState& state, const WCHAR* name) {
  for (const SavedPrinter* node = state.savedPrinters; node != nullptr; node = node->next) {
    if (node->recovered != nullptr && IsSamePrinterName(node->printer->pPrinterName, name)) {
      return true;
    }
  }
  return false;
}

bool WritePrinterRecord(const SavedPrinter& node) {
  const PRINTER_INFO_2W& printer = *node.printer;
  if (!NameFitsKey(printer.pPrinterName)) return false;
  WString path = RecordPath(printer.pPrinterName);
  if (path.Length() == 0) return false;
  // Values of an older, unfinished record of the name must not mix with this one.
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.Text());
  UniqueRegistryKey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.Text(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  DWORD isDefault = (printer.Attributes & PRINTER_ATTRIBUTE_DEFAULT) != 0 ? 1 : 0;
  DWORD subKeyBytes = static_cast<DWORD>(lstrlenA(node.subKey)) + 1;
  bool whole =
      WriteText(key.get(), L"Comment", printer.pComment) &&
      WriteText(key.get(), L"Location", printer.pLocation) &&
      RegSetValueExW(key.get(), L"Default", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&isDefault),
                     sizeof(isDefault)) == ERROR_SUCCESS &&
      RegSetValueExA(key.get(), "SubKey", 0, REG_SZ, reinterpret_cast<const BYTE*>(node.subKey),
                     subKeyBytes) == ERROR_SUCCESS;
  if (whole) return true;
  key.reset();
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.Text());
  return false;
}

void FlushPrinterRecords() {
  UniqueRegistryKey records;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRecordsKey, 0, KEY_QUERY_VALUE, records.put()) ==
      ERROR_SUCCESS) {
    RegFlushKey(records.get());
  }
}

// Left on disk until the hive's next flush: a record that comes back after a power cut finds
// its printer complete, which keeps what it has.
void DropPrinterRecord(const SavedPrinter& node) {
  if (!NameFitsKey(node.printer->pPrinterName)) return;
  WString path = RecordPath(node.printer->pPrinterName);
  if (path.Length() != 0) RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.Text());
}

void DropAllPrinterRecords(bool durable) {
  bool dropped = RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRecordsKey) == ERROR_SUCCESS;
  for (const WCHAR* vendorKey : kVendorKeys) DeleteKeyWhenEmpty(vendorKey);
  // An uninstall's records must not bring its printers back after a power cut.
  if (dropped && durable) RegFlushKey(HKEY_LOCAL_MACHINE);
}
