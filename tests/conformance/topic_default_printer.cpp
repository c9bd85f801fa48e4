// The user's default printer through ordinals 203 (get) and 204 (set) of the spooler library:
// missing names, buffers too small, keeping a default, and what deleting the default does.
#include "probe.h"

#include <winspool.h>

namespace {

typedef BOOL(WINAPI* GetDefault)(LPWSTR, LPDWORD);
typedef BOOL(WINAPI* SetDefault)(LPCWSTR);
GetDefault getDefault = nullptr;
SetDefault setDefault = nullptr;

void ObserveDefault(const char* key) {
  WCHAR name[256] = {};
  DWORD units = 256;
  BOOL got = getDefault(name, &units);
  if (got) {
    Observe(key, "ok [%s] units %lu", Narrow(name), Number(units));
  } else {
    ObserveCall(key, FALSE);
  }
}

void DeletePrinterNamed(const char* key, const WCHAR* name) {
  HANDLE printer = OpenProbePrinter(name, PRINTER_ALL_ACCESS);
  ObserveCall(key, printer != nullptr && DeletePrinter(printer));
  if (printer != nullptr) ClosePrinter(printer);
}

}  // namespace

void ProbeDefaultPrinter() {
  HMODULE spooler = LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  ObserveCall("def.load", spooler != nullptr);
  if (spooler == nullptr) return;
  getDefault = reinterpret_cast<GetDefault>(
      reinterpret_cast<void (*)()>(GetProcAddress(spooler, MAKEINTRESOURCEA(203))));
  setDefault = reinterpret_cast<SetDefault>(
      reinterpret_cast<void (*)()>(GetProcAddress(spooler, MAKEINTRESOURCEA(204))));
  ObserveCall("def.ordinals", getDefault != nullptr && setDefault != nullptr);
  if (getDefault == nullptr || setDefault == nullptr) return;

  ObserveDefault("def.initial");
  ObserveCall("def.set_missing", setDefault(L"Probe X"));
  ObserveCall("def.set", setDefault(PROBE_PRINTER_B));
  DWORD units = 0;
  BOOL got = getDefault(nullptr, &units);
  Observe("def.get_size", "%s %lu units %lu", got ? "ok" : "fail", Number(got ? 0 : GetLastError()),
          Number(units));
  WCHAR name[256] = {};
  units = 7;
  got = getDefault(name, &units);
  Observe("def.get_short", "%s %lu units %lu", got ? "ok" : "fail",
          Number(got ? 0 : GetLastError()), Number(units));
  ObserveDefault("def.get");
  ObserveCall("def.set_null_keeps", setDefault(nullptr));
  ObserveDefault("def.after_set_null");
  ObserveCall("def.get_null_size", getDefault(name, nullptr));

  HANDLE added = AddProbePrinter(PROBE_PRINTER_C, L"RAW");
  ObserveCall("def.add_other", added != nullptr);
  if (added != nullptr) ClosePrinter(added);
  ObserveCall("def.set_other", setDefault(PROBE_PRINTER_C));
  DeletePrinterNamed("def.delete_default", PROBE_PRINTER_C);
  ObserveDefault("def.after_delete_default");
  DeletePrinterNamed("def.delete_last", PROBE_PRINTER_B);
  ObserveDefault("def.after_delete_last");
  ObserveCall("def.set_null_without_printers", setDefault(L""));
  ObserveDefault("def.after_set_null_without_printers");
  FreeLibrary(spooler);
}
