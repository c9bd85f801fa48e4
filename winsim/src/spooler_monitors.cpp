// Port monitors: EnumMonitorsW, AddMonitorW and DeleteMonitorW.
#include <winspool.h>

#include "spooler_internal.h"

using winsim::Machine;
using winsim::SpoolerMonitor;
using winsim::WideText;

namespace {

// Only the local machine is simulated: a null or empty server name.
bool IsLocalServer(const WCHAR* name) {
  return name == nullptr || name[0] == 0;
}

}  // namespace

BOOL WINAPI EnumMonitorsW(LPWSTR pName, DWORD Level, LPBYTE pMonitor, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!winsim::SpoolerAvailable()) return FALSE;
  if (!winsim::CheckEnumerationArguments(pMonitor, cbBuf, pcbNeeded, pcReturned)) return FALSE;
  if (!IsLocalServer(pName)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (Level != 1 && Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  const std::vector<SpoolerMonitor>& monitors = Machine::Current().spooler().monitors;
  auto marshal = [&](size_t index, void* record, winsim::StringPacker& strings) {
    const SpoolerMonitor& monitor = monitors[index];
    if (Level == 1) {
      LPWSTR name = strings.Put(monitor.name);
      if (record != nullptr) static_cast<MONITOR_INFO_1W*>(record)->pName = name;
      return;
    }
    auto* info = static_cast<MONITOR_INFO_2W*>(record);
    LPWSTR name = strings.Put(monitor.name);
    LPWSTR environment = strings.Put(monitor.environment);
    LPWSTR dll = strings.Put(monitor.dllName);
    if (info != nullptr) {
      info->pName = name;
      info->pEnvironment = environment;
      info->pDLLName = dll;
    }
  };
  size_t recordSize = Level == 1 ? sizeof(MONITOR_INFO_1W) : sizeof(MONITOR_INFO_2W);
  return winsim::ReturnRecords(monitors.size(), recordSize, marshal, pMonitor, cbBuf, pcbNeeded,
                               pcReturned);
}

BOOL WINAPI AddMonitorW(LPWSTR pName, DWORD Level, LPBYTE pMonitorInfo) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!winsim::SpoolerAvailable()) return FALSE;
  if (!IsLocalServer(pName)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  auto* info = reinterpret_cast<MONITOR_INFO_2W*>(pMonitorInfo);
  if (info == nullptr || info->pName == nullptr || info->pName[0] == 0 ||
      info->pDLLName == nullptr || info->pDLLName[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  winsim::Spooler& spooler = Machine::Current().spooler();
  WideText environment = winsim::Spooler::CanonicalEnvironment(info->pEnvironment);
  if (environment != winsim::kNativeEnvironment) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  if (spooler.FindMonitor(winsim::FromPtr(info->pName)) != nullptr) {
    SetLastError(ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
    return FALSE;
  }
  WideText dllName = winsim::FromPtr(info->pDLLName);
  if (!spooler.MonitorDllPresent(dllName)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  // A monitor serves the port of its own name; a test can give it other ports.
  SpoolerMonitor& monitor =
      spooler.AddMonitor(winsim::FromPtr(info->pName), dllName, {winsim::FromPtr(info->pName)});
  spooler.LoadMonitor(monitor);
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI DeleteMonitorW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pMonitorName) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!winsim::SpoolerAvailable()) return FALSE;
  if (!IsLocalServer(pName)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (pMonitorName == nullptr || pMonitorName[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (winsim::Spooler::CanonicalEnvironment(pEnvironment).empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  winsim::Spooler& spooler = Machine::Current().spooler();
  SpoolerMonitor* monitor = spooler.FindMonitor(winsim::FromPtr(pMonitorName));
  if (monitor == nullptr) {
    SetLastError(ERROR_UNKNOWN_PRINT_MONITOR);
    return FALSE;
  }
  // A monitor whose port a printer uses stays (the port text may list several ports). A
  // connection's port is the print server's.
  for (const auto& printer : spooler.printers) {
    if (!printer->serverName.empty()) continue;
    for (const WideText& port : winsim::SplitPortList(printer->port)) {
      if (spooler.FindPortMonitor(port) == monitor) {
        SetLastError(ERROR_PRINT_MONITOR_IN_USE);
        return FALSE;
      }
    }
  }
  spooler.UnloadMonitor(*monitor);
  spooler.monitors.erase(spooler.monitors.begin() + (monitor - spooler.monitors.data()));
  winsim::PoisonLastError();
  return TRUE;
}
