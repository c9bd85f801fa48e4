// Printers: adding them (twice, with an unknown driver, port or print processor), opening
// missing ones, the two-call GetPrinterW and GetPrinterDriverW, the enumeration, and
// DeletePrinter while other handles on the printer are open. Leaves "Probe B".
#include "probe.h"

#include <winspool.h>

#include <stdio.h>

namespace {

void ObserveAdd(const char* key, HANDLE printer) {
  ObserveCall(key, printer != nullptr);
  if (printer != nullptr) ClosePrinter(printer);
}

HANDLE AddPrinterWith(const WCHAR* name, const WCHAR* driver, const WCHAR* port,
                      const WCHAR* processor) {
  PRINTER_INFO_2W info = {};
  info.pPrinterName = const_cast<LPWSTR>(name);
  info.pPortName = const_cast<LPWSTR>(port);
  info.pDriverName = const_cast<LPWSTR>(driver);
  info.pPrintProcessor = const_cast<LPWSTR>(processor);
  info.pDatatype = const_cast<LPWSTR>(L"RAW");
  return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
}

// First call without a buffer; a call one byte short; then the call with the size asked for.
// Sizes of records that carry a device mode or security descriptor are not printed.
BOOL GetPrinterTwice(const char* key, HANDLE printer, DWORD level, BYTE* buffer, bool sizes) {
  char name[64];
  DWORD needed = 0;
  BOOL first = GetPrinterW(printer, level, nullptr, 0, &needed);
  snprintf(name, sizeof(name), "%s.first", key);
  if (sizes) {
    Observe(name, "%s %lu needed %lu", first ? "ok" : "fail", Number(first ? 0 : GetLastError()),
            Number(needed));
  } else {
    Observe(name, "%s %lu needed %s", first ? "ok" : "fail", Number(first ? 0 : GetLastError()),
            needed > 0 ? "some" : "none");
  }
  if (needed == 0 || needed > 8192) return FALSE;
  DWORD again = 0;
  snprintf(name, sizeof(name), "%s.short", key);
  BOOL shortCall = GetPrinterW(printer, level, buffer, needed - 1, &again);
  Observe(name, "%s %lu same %d", shortCall ? "ok" : "fail", Number(shortCall ? 0 : GetLastError()),
          again == needed);
  return GetPrinterW(printer, level, buffer, needed, &needed);
}

void GetDriverTwice(const char* key, HANDLE printer, DWORD level) {
  char name[64];
  DWORD needed = 0;
  BOOL first = GetPrinterDriverW(printer, nullptr, level, nullptr, 0, &needed);
  snprintf(name, sizeof(name), "%s.first", key);
  Observe(name, "%s %lu needed %lu", first ? "ok" : "fail", Number(first ? 0 : GetLastError()),
          Number(needed));
  BYTE buffer[8192];
  if (needed == 0 || needed > sizeof(buffer)) return;
  BOOL second = GetPrinterDriverW(printer, nullptr, level, buffer, needed, &needed);
  const DRIVER_INFO_2W* info = reinterpret_cast<DRIVER_INFO_2W*>(buffer);
  snprintf(name, sizeof(name), "%s.second", key);
  if (!second) {
    ObserveCall(name, FALSE);
    return;
  }
  Observe(name, "ok v%lu [%s] [%s] [%s] [%s] [%s]", Number(info->cVersion), Narrow(info->pName),
          Narrow(info->pEnvironment), Narrow(info->pDriverPath), Narrow(info->pDataFile),
          Narrow(info->pConfigFile));
  if (level < 3) return;
  const DRIVER_INFO_3W* more = reinterpret_cast<DRIVER_INFO_3W*>(buffer);
  snprintf(name, sizeof(name), "%s.more", key);
  Observe(name, "help [%s] dependent [%s] monitor [%s] datatype [%s]", Narrow(more->pHelpFile),
          Narrow(more->pDependentFiles), Narrow(more->pMonitorName),
          Narrow(more->pDefaultDataType));
}

void EnumeratePrinters(const char* key) {
  char name[64];
  DWORD needed = 0;
  DWORD count = 0;
  BOOL first = EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count);
  snprintf(name, sizeof(name), "%s.first", key);
  Observe(name, "%s %lu needed %lu count %lu", first ? "ok" : "fail",
          Number(first ? 0 : GetLastError()), Number(needed), Number(count));
  BYTE buffer[8192];
  if (first || needed > sizeof(buffer)) return;
  BOOL second = EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, buffer, needed, &needed, &count);
  char list[512] = "";
  for (DWORD i = 0; second && i < count; ++i) {
    const PRINTER_INFO_4W& info = reinterpret_cast<PRINTER_INFO_4W*>(buffer)[i];
    size_t used = 0;
    while (list[used] != 0) ++used;
    snprintf(list + used, sizeof(list) - used, " [%s %lx]", Narrow(info.pPrinterName),
             Number(info.Attributes & ~static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT)));
  }
  snprintf(name, sizeof(name), "%s.second", key);
  Observe(name, "%s count %lu%s", second ? "ok" : "fail", Number(count), list);
}

}  // namespace

void ProbePrinters() {
  EnumeratePrinters("prn.enum4_empty");
  ObserveAdd("prn.add", AddProbePrinter(PROBE_PRINTER_A, L"RAW"));
  ObserveAdd("prn.add_again", AddProbePrinter(PROBE_PRINTER_A, L"RAW"));
  ObserveAdd("prn.add_unknown_driver",
             AddPrinterWith(L"Probe X", L"vexaWriter no such driver", PROBE_MONITOR, L"WinPrint"));
  ObserveAdd("prn.add_unknown_processor",
             AddPrinterWith(L"Probe X", PROBE_DRIVER, PROBE_MONITOR, L"vexaNoProcessor"));
  ObserveCall("prn.open_missing", OpenProbePrinter(L"Probe X", PRINTER_ACCESS_USE) != nullptr);

  HANDLE printer = OpenProbePrinter(PROBE_PRINTER_A, PRINTER_ALL_ACCESS);
  ObserveCall("prn.open", printer != nullptr);
  if (printer == nullptr) return;
  BYTE buffer[8192];
  BOOL got = GetPrinterTwice("prn.get2", printer, 2, buffer, false);
  const PRINTER_INFO_2W* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer);
  if (got) {
    Observe("prn.get2.second", "ok [%s] [%s] [%s] [%s] attributes %lx status %lx jobs %lu",
            Narrow(info->pPrinterName), Narrow(info->pPortName), Narrow(info->pDriverName),
            Narrow(info->pDatatype),
            Number(info->Attributes & ~static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT)),
            Number(info->Status), Number(info->cJobs));
  } else {
    ObserveCall("prn.get2.second", FALSE);
  }
  got = GetPrinterTwice("prn.get4", printer, 4, buffer, true);
  ObserveCall("prn.get4.second", got);
  DWORD needed = 0;
  ObserveCall("prn.get_bad_level", GetPrinterW(printer, 99, buffer, sizeof(buffer), &needed));
  GetDriverTwice("prn.driver2", printer, 2);
  GetDriverTwice("prn.driver3", printer, 3);
  ObserveCall("prn.driver_bad_environment",
              GetPrinterDriverW(printer, const_cast<LPWSTR>(L"Windows 3.1"), 2, buffer,
                                sizeof(buffer), &needed));
  ClosePrinter(printer);

  ObserveAdd("prn.add_second", AddProbePrinter(PROBE_PRINTER_B, L"RAW"));
  EnumeratePrinters("prn.enum4");

  // DeletePrinter while a second handle is open on the printer.
  HANDLE deleting = OpenProbePrinter(PROBE_PRINTER_A, PRINTER_ALL_ACCESS);
  HANDLE other = OpenProbePrinter(PROBE_PRINTER_A, PRINTER_ALL_ACCESS);
  ObserveCall("prn.open_twice", deleting != nullptr && other != nullptr);
  if (deleting == nullptr || other == nullptr) return;
  ObserveCall("prn.delete_with_other_open", DeletePrinter(deleting));
  ObserveCall("prn.deleted_other_get", GetPrinterW(other, 4, buffer, sizeof(buffer), &needed));
  ObserveCall("prn.deleted_same_get", GetPrinterW(deleting, 4, buffer, sizeof(buffer), &needed));
  ObserveCall("prn.deleted_other_delete", DeletePrinter(other));
  HANDLE reopened = OpenProbePrinter(PROBE_PRINTER_A, PRINTER_ACCESS_USE);
  ObserveCall("prn.open_deleted", reopened != nullptr);
  if (reopened != nullptr) ClosePrinter(reopened);
  ObserveCall("prn.close_deleted", ClosePrinter(deleting) && ClosePrinter(other));
  EnumeratePrinters("prn.enum4_after_delete");
}
