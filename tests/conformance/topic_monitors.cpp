// Port monitors: the two-call enumeration at both levels, adding the monitor (twice, and with
// a DLL that is not there), and the monitor DLL the spooler keeps loaded.
#include "probe.h"

#include <winspool.h>

#include <stdio.h>
#include <string.h>

namespace {

// Both calls of an enumeration at one level: the first with no buffer, the second with the
// size it asked for; prints the sizes, counts and each monitor.
void EnumerateMonitors(const char* key, DWORD level) {
  char name[64];
  DWORD needed = 0;
  DWORD count = 0;
  BOOL first = EnumMonitorsW(nullptr, level, nullptr, 0, &needed, &count);
  snprintf(name, sizeof(name), "%s.first", key);
  Observe(name, "%s %lu needed %lu count %lu", first ? "ok" : "fail",
          Number(first ? 0 : GetLastError()), Number(needed), Number(count));
  BYTE buffer[8192];
  if (needed > sizeof(buffer)) return;
  BOOL second = EnumMonitorsW(nullptr, level, buffer, needed, &needed, &count);
  char list[1024] = "";
  for (DWORD i = 0; second && i < count; ++i) {
    char entry[256];
    if (level == 1) {
      snprintf(entry, sizeof(entry), " [%s]",
               Narrow(reinterpret_cast<MONITOR_INFO_1W*>(buffer)[i].pName));
    } else {
      const MONITOR_INFO_2W& info = reinterpret_cast<MONITOR_INFO_2W*>(buffer)[i];
      snprintf(entry, sizeof(entry), " [%s|%s|%s]", Narrow(info.pName), Narrow(info.pEnvironment),
               Narrow(info.pDLLName));
    }
    strncat(list, entry, sizeof(list) - strlen(list) - 1);
  }
  snprintf(name, sizeof(name), "%s.second", key);
  Observe(name, "%s count %lu%s", second ? "ok" : "fail", Number(count), list);
}

BOOL AddProbeMonitor(const WCHAR* name, const WCHAR* dll) {
  MONITOR_INFO_2W info = {const_cast<LPWSTR>(name), const_cast<LPWSTR>(PROBE_ENVIRONMENT),
                          const_cast<LPWSTR>(dll)};
  return AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
}

}  // namespace

void ProbeMonitors() {
  EnumerateMonitors("mon.enum1", 1);
  EnumerateMonitors("mon.enum2", 2);
  DWORD needed = 0;
  DWORD count = 0;
  ObserveCall("mon.enum_bad_level", EnumMonitorsW(nullptr, 3, nullptr, 0, &needed, &count));
  ObserveCall("mon.add", AddProbeMonitor(PROBE_MONITOR, L"zqvmon64.dll"));
  ObserveCall("mon.add_again", AddProbeMonitor(PROBE_MONITOR, L"zqvmon64.dll"));
  ObserveCall("mon.add_missing_dll",
              AddProbeMonitor(L"vexaWriter probe missing", L"zqvnone64.dll"));
  EnumerateMonitors("mon.enum1_after_add", 1);
  ObserveCall("mon.delete_unknown",
              DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(L"vexaWriter probe missing")));

  // The loaded monitor DLL: it can be read, not written or deleted.
  WCHAR path[MAX_PATH];
  GetSystemDirectoryW(path, MAX_PATH);
  lstrcatW(path, L"\\zqvmon64.dll");
  ObserveCall("mon.dll_delete_loaded", DeleteFileW(path));
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ObserveCall("mon.dll_open_write_loaded", file != INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ObserveCall("mon.dll_open_read_loaded", file != INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}
