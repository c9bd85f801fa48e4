// Printer drivers: the driver directory, the two-call driver enumeration, adding the probe
// driver (with missing files, an unknown environment, and twice) and deleting an unknown one.
#include "probe.h"

#include <winspool.h>

#include <stdio.h>

namespace {

void EnumerateDrivers(const char* key, DWORD level) {
  char name[64];
  DWORD needed = 0;
  DWORD count = 0;
  BOOL first = EnumPrinterDriversW(nullptr, nullptr, level, nullptr, 0, &needed, &count);
  snprintf(name, sizeof(name), "%s.first", key);
  Observe(name, "%s %lu needed %lu count %lu", first ? "ok" : "fail",
          Number(first ? 0 : GetLastError()), Number(needed), Number(count));
  if (first) return;
  BYTE buffer[8192];
  if (needed > sizeof(buffer)) return;
  BOOL second = EnumPrinterDriversW(nullptr, nullptr, level, buffer, needed, &needed, &count);
  snprintf(name, sizeof(name), "%s.second", key);
  Observe(name, "%s count %lu first [%s]", second ? "ok" : "fail", Number(count),
          second && count > 0 ? Narrow(reinterpret_cast<DRIVER_INFO_2W*>(buffer)->pName) : "");
}

}  // namespace

void ProbeDrivers() {
  DWORD needed = 0;
  BOOL first = GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed);
  Observe("drv.dir.first", "%s %lu needed %lu", first ? "ok" : "fail",
          Number(first ? 0 : GetLastError()), Number(needed));
  WCHAR directory[MAX_PATH] = {};
  BOOL shortCall = GetPrinterDriverDirectoryW(
      nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), needed - 2, &needed);
  ObserveCall("drv.dir.short", shortCall);
  BOOL second = GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory),
                                           needed, &needed);
  Observe("drv.dir.second", "%s [%s]", second ? "ok" : "fail", Narrow(directory));
  ObserveCall(
      "drv.dir.bad_environment",
      GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(L"Windows 3.1"), 1,
                                 reinterpret_cast<LPBYTE>(directory), sizeof(directory), &needed));
  ObserveCall("drv.dir.bad_level",
              GetPrinterDriverDirectoryW(nullptr, nullptr, 2, reinterpret_cast<LPBYTE>(directory),
                                         sizeof(directory), &needed));

  EnumerateDrivers("drv.enum6_empty", 6);
  DWORD count = 0;
  ObserveCall("drv.enum_bad_environment",
              EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(L"Windows 3.1"), 6, nullptr, 0,
                                  &needed, &count));
  ObserveCall("drv.add_missing_file",
              AddProbeDriver(PROBE_DRIVER, PROBE_DIR L"\\zqvnone64.dll", APD_COPY_ALL_FILES));
  ObserveCall("drv.add",
              AddProbeDriver(PROBE_DRIVER, PROBE_DIR L"\\zqvdrv64.dll", APD_COPY_ALL_FILES));
  Observe("drv.add_files", "drv %d ui %d help %d", FileThere(PROBE_DRIVER_FILES L"\\zqvdrv64.dll"),
          FileThere(PROBE_DRIVER_FILES L"\\zqvui64.dll"),
          FileThere(PROBE_DRIVER_FILES L"\\zqvhelp.chm"));
  ObserveCall("drv.add_again",
              AddProbeDriver(PROBE_DRIVER, PROBE_DIR L"\\zqvdrv64.dll", APD_COPY_ALL_FILES));
  EnumerateDrivers("drv.enum6", 6);
  EnumerateDrivers("drv.enum2", 2);
  ObserveCall("drv.delete_unknown",
              DeletePrinterDriverExW(nullptr, nullptr,
                                     const_cast<LPWSTR>(L"vexaWriter no such driver"), 0, 0));
}
