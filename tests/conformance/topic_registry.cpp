// Registry values: creating a key twice, value sizes, ERROR_MORE_DATA for a short buffer, and
// missing keys and values.
#include "probe.h"

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
  RegCloseKey(key);
}
