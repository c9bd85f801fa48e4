#include "spooler/spooler_service.h"

#include "foundation/error_codes.h"
#include "foundation/install_log.h"
#include "foundation/install_state.h"

namespace {

constexpr const WCHAR* kSpoolerService = L"spooler";
constexpr DWORD kManagerAccess = STANDARD_RIGHTS_REQUIRED | SC_MANAGER_CONNECT;
constexpr DWORD kCheckAccess = SERVICE_START | SERVICE_QUERY_STATUS;
constexpr DWORD kPauseAccess = SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS;
constexpr int kPolls = 50;
constexpr DWORD kPollMilliseconds = 200;

SC_HANDLE OpenManager() {
  return OpenSCManagerW(nullptr, nullptr, kManagerAccess);
}

// Polls until the service reports `wanted` or the polls run out; returns the last state read.
// A failed query leaves the state as it was (0 before the first successful one).
DWORD WaitForState(SC_HANDLE service, DWORD wanted) {
  SERVICE_STATUS status = {};
  QueryServiceStatus(service, &status);
  for (int poll = 0; poll < kPolls && status.dwCurrentState != wanted; ++poll) {
    Sleep(kPollMilliseconds);
    QueryServiceStatus(service, &status);
  }
  return status.dwCurrentState;
}

}  // namespace

bool StartSpoolerAndWait(SC_HANDLE service) {
  // A service that runs or is starting already refuses the start; it is simply polled.
  DWORD startError = StartServiceW(service, 0, nullptr) ? ERROR_SUCCESS : GetLastError();
  if (WaitForState(service, SERVICE_RUNNING) == SERVICE_RUNNING) return true;
  // The polls end on successful queries, which leave the last error undefined: name the cause.
  bool startRefused = startError != ERROR_SUCCESS && startError != ERROR_SERVICE_ALREADY_RUNNING;
  SetLastError(startRefused ? startError : ERROR_SERVICE_REQUEST_TIMEOUT);
  return false;
}

bool CheckSpooler(InstallState& state) {
  LogLine(state, L"#Check Spooler");
  ++state.indent;
  UniqueServiceHandle manager(OpenManager());
  if (!manager) {
    ReportError(state, kErrorOpenServiceManager, kMessageOpenServiceManager);
    --state.indent;
    return false;
  }
  bool result = true;
  UniqueServiceHandle service(OpenServiceW(manager.get(), kSpoolerService, kCheckAccess));
  if (!service) {
    ReportError(state, kErrorOpenSpooler, kMessageOpenSpooler);
    result = false;
  } else {
    SERVICE_STATUS status = {};
    if (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_RUNNING &&
        !StartSpoolerAndWait(service.get())) {
      ReportError(state, kErrorStartSpooler, kMessageStartSpooler);
      result = false;
    }
  }
  --state.indent;
  return result;
}

SpoolerPause::SpoolerPause(InstallState* state) : state_(state) {
  if (state_ != nullptr) LogLine(*state_, L"#Restart Spooler");
  manager_.reset(OpenManager());
  if (!manager_) {
    if (state_ != nullptr) {
      ReportError(*state_, kErrorOpenServiceManager, kMessageOpenServiceManager);
    }
    return;
  }
  service_.reset(OpenServiceW(manager_.get(), kSpoolerService, kPauseAccess));
  if (!service_) {
    if (state_ != nullptr) ReportError(*state_, kErrorOpenSpooler, kMessageOpenSpooler);
    return;
  }
  SERVICE_STATUS status = {};
  if (!ControlService(service_.get(), SERVICE_CONTROL_STOP, &status)) {
    DWORD error = GetLastError();
    // Not active: the spooler was stopped already, which is what this guard wants.
    if (error != ERROR_SERVICE_NOT_ACTIVE && state_ != nullptr) {
      ReportError(*state_, kErrorControlService, kMessageControlService, static_cast<int>(error),
                  error);
    }
  }
  stopRequested_ = 1;
  if (WaitForState(service_.get(), SERVICE_STOPPED) != SERVICE_STOPPED && state_ != nullptr) {
    // The polls end on successful queries, which leave the last error undefined: name the cause.
    SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
    ReportError(*state_, kErrorStopSpooler, kMessageStopSpooler);
  }
}

SpoolerPause::~SpoolerPause() {
  if (service_ && stopRequested_ && !StartSpoolerAndWait(service_.get()) && state_ != nullptr) {
    ReportError(*state_, kErrorStartSpooler, kMessageStartSpooler);
  }
  service_.reset();
  manager_.reset();
}
