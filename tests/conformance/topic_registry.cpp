// Registry values: creating a key twice, value sizes, ERROR_MORE_DATA for a short buffer, and
// missing keys and values; 8-bit text through the ANSI calls, subkeys listed under the names
// they were made with, their count, flushing, and deleting a key with everything below it.
#include "probe.h"

namespace {

void ProbeRecordKeys(HKEY parent) {
  HKEY record = nullptr;
  LSTATUS status = RegCreateKeyExW(parent, L"Saved\\Printer One", 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, &record, nullptr);
  ObserveStatus("reg.create_nested", status);
  if (status != ERROR_SUCCESS) return;
  const char text[] = "key-1";
  ObserveStatus("reg.set_ansi", RegSetValueExA(record, "SubKey", 0, REG_SZ,
                                               reinterpret_cast<const BYTE*>(text), sizeof(text)));
  char buffer[16] = {};
  DWORD type = 0;
  DWORD size = sizeof(buffer);
  status =
      RegQueryValueExA(record, "subkey", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  Observe("reg.query_ansi", "%lu type %lu size %lu [%s]", Number(status), Number(type),
          Number(size), buffer);
  WCHAR wide[16] = {};
  size = sizeof(wide);
  status =
      RegQueryValueExW(record, L"SubKey", nullptr, &type, reinterpret_cast<BYTE*>(wide), &size);
  Observe("reg.query_ansi_as_wide", "%lu size %lu [%s]", Number(status), Number(size),
          Narrow(wide));
  ObserveStatus("reg.flush", RegFlushKey(record));
  RegCloseKey(record);
  ObserveStatus("reg.flush_root", RegFlushKey(HKEY_CURRENT_USER));
  HKEY saved = nullptr;
  status = RegOpenKeyExW(parent, L"Saved", 0, KEY_READ, &saved);
  ObserveStatus("reg.open_nested", status);
  if (status == ERROR_SUCCESS) {
    WCHAR name[64] = {};
    DWORD length = 8;
    status = RegEnumKeyExW(saved, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    Observe("reg.enum_short", "%lu length %lu", Number(status), Number(length));
    length = 64;
    status = RegEnumKeyExW(saved, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    Observe("reg.enum", "%lu length %lu [%s]", Number(status), Number(length), Narrow(name));
    length = 64;
    status = RegEnumKeyExW(saved, 1, name, &length, nullptr, nullptr, nullptr, nullptr);
    Observe("reg.enum_end", "%lu length %lu", Number(status), Number(length));
    DWORD keys = 9, values = 9;
    status = RegQueryInfoKeyW(saved, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values,
                              nullptr, nullptr, nullptr, nullptr);
    Observe("reg.info_counts", "%lu keys %lu values %lu", Number(status), Number(keys),
            Number(values));
    RegCloseKey(saved);
  }
  ObserveStatus("reg.delete_tree", RegDeleteTreeW(parent, L"Saved"));
  ObserveStatus("reg.delete_tree_again", RegDeleteTreeW(parent, L"Saved"));
  ObserveStatus("reg.open_deleted", RegOpenKeyExW(parent, L"Saved", 0, KEY_READ, &saved));
}

}  // namespace

void ProbeRegistry() {
  HKEY key = nullptr;
  ObserveStatus("reg.open_missing", RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\vexaProbeMissing",
                                                  0, KEY_READ, &key));
  DWORD disposition = 0;
  LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\vexaProbe", 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, &key, &disposition);
  Observe("reg.create", "%lu disposition %lu", Number(status), Number(disposition));
  if (status != ERROR_SUCCESS) return;
  RegCloseKey(key);
  status = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\vexaProbe", 0, nullptr, 0, KEY_ALL_ACCESS,
                           nullptr, &key, &disposition);
  Observe("reg.create_again", "%lu disposition %lu", Number(status), Number(disposition));
  if (status != ERROR_SUCCESS) return;
  const WCHAR text[] = L"hello";
  ObserveStatus("reg.set", RegSetValueExW(key, L"Text", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(text), sizeof(text)));
  DWORD type = 0;
  DWORD size = 0;
  status = RegQueryValueExW(key, L"Text", nullptr, &type, nullptr, &size);
  Observe("reg.query_size", "%lu type %lu size %lu", Number(status), Number(type), Number(size));
  BYTE buffer[64] = {};
  size = 4;
  status = RegQueryValueExW(key, L"Text", nullptr, &type, buffer, &size);
  Observe("reg.query_short", "%lu size %lu", Number(status), Number(size));
  size = sizeof(buffer);
  status = RegQueryValueExW(key, L"text", nullptr, &type, buffer, &size);
  Observe("reg.query", "%lu size %lu [%s]", Number(status), Number(size),
          Narrow(reinterpret_cast<const WCHAR*>(buffer)));
  size = sizeof(buffer);
  ObserveStatus("reg.query_missing",
                RegQueryValueExW(key, L"NoSuchValue", nullptr, &type, buffer, &size));
  ObserveStatus("reg.delete_value", RegDeleteValueW(key, L"Text"));
  ObserveStatus("reg.delete_value_again", RegDeleteValueW(key, L"Text"));
  ProbeRecordKeys(key);
  RegCloseKey(key);
}
