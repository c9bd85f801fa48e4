// The "spooler" service through the service control manager: access checks, start and stop
// with the states each reports, and the errors of a second start or stop. Leaves the spooler
// running for the topics after it.
#include "probe.h"

namespace {

// Polls until the service reaches the state (or about ten seconds pass); the state reached.
DWORD WaitForState(SC_HANDLE service, DWORD wanted) {
  SERVICE_STATUS status = {};
  for (int i = 0; i < 500; ++i) {
    if (!QueryServiceStatus(service, &status)) return 0;
    if (status.dwCurrentState == wanted) break;
    Sleep(20);
  }
  return status.dwCurrentState;
}

}  // namespace

void ProbeServices() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  ObserveCall("svc.open_manager", manager != nullptr);
  if (manager == nullptr) return;
  SC_HANDLE missing = OpenServiceW(manager, L"vexaNoSuchService", SERVICE_QUERY_STATUS);
  ObserveCall("svc.open_missing", missing != nullptr);
  if (missing != nullptr) CloseServiceHandle(missing);

  SC_HANDLE queryOnly = OpenServiceW(manager, L"spooler", SERVICE_QUERY_STATUS);
  SC_HANDLE full =
      OpenServiceW(manager, L"Spooler", SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP);
  ObserveCall("svc.open_spooler", queryOnly != nullptr && full != nullptr);
  if (queryOnly == nullptr || full == nullptr) return;
  SERVICE_STATUS status = {};
  QueryServiceStatus(full, &status);
  Observe("svc.initial_state", "%lu", Number(status.dwCurrentState));
  ObserveCall("svc.start_without_access", StartServiceW(queryOnly, 0, nullptr));
  ObserveCall("svc.start", StartServiceW(full, 0, nullptr));
  Observe("svc.start_reaches", "%lu", Number(WaitForState(full, SERVICE_RUNNING)));
  ObserveCall("svc.start_again", StartServiceW(full, 0, nullptr));
  ObserveCall("svc.stop_without_access", ControlService(queryOnly, SERVICE_CONTROL_STOP, &status));
  status = SERVICE_STATUS{};
  ObserveCall("svc.stop", ControlService(full, SERVICE_CONTROL_STOP, &status));
  Observe("svc.stop_reports", "%lu", Number(status.dwCurrentState));
  Observe("svc.stop_reaches", "%lu", Number(WaitForState(full, SERVICE_STOPPED)));
  status = SERVICE_STATUS{};
  ObserveCall("svc.stop_again", ControlService(full, SERVICE_CONTROL_STOP, &status));
  Observe("svc.stop_again_reports", "%lu", Number(status.dwCurrentState));
  ObserveCall("svc.restart", StartServiceW(full, 0, nullptr));
  Observe("svc.restart_reaches", "%lu", Number(WaitForState(full, SERVICE_RUNNING)));
  CloseServiceHandle(full);
  CloseServiceHandle(queryOnly);
  CloseServiceHandle(manager);
}
