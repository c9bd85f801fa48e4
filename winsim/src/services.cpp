// The service control manager: service states in virtual time, and the advapi32 calls on it.
#include "winsim/services.h"
#include "winsim/spooler.h"

#include <memory>

#include "winsim/files.h"

using winsim::Machine;
using winsim::Service;

namespace winsim {

ServiceManager::ServiceManager() {
  Service spooler;
  spooler.name = u"Spooler";
  services_.push_back(spooler);
}

Service* ServiceManager::Find(const WideText& name) {
  for (Service& service : services_) {
    if (EqualsIgnoringCase(service.name, name)) return &service;
  }
  return nullptr;
}

DWORD ServiceManager::CurrentState(Service& service) {
  uint64_t now = Machine::Current().ElapsedMilliseconds();
  if (service.state == SERVICE_START_PENDING && !service.neverStarts &&
      now >= service.pendingEnds) {
    service.state = SERVICE_RUNNING;
    if (EqualsIgnoringCase(service.name, u"spooler")) Machine::Current().spooler().Start();
  } else if (service.state == SERVICE_STOP_PENDING && !service.neverStops &&
             now >= service.pendingEnds) {
    service.state = SERVICE_STOPPED;
    // A stopped spooler process has let go of every file it had open or loaded, and its
    // handles are gone.
    if (EqualsIgnoringCase(service.name, u"spooler")) Machine::Current().spooler().Stop();
  }
  return service.state;
}

bool ServiceManager::IsRunning(const WideText& name) {
  Service* service = Find(name);
  return service != nullptr && CurrentState(*service) == SERVICE_RUNNING;
}

DWORD ServiceManager::RequestStart(Service& service) {
  if (CurrentState(service) != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
  if (service.disabled) return ERROR_SERVICE_DISABLED;
  service.state = SERVICE_START_PENDING;
  service.pendingEnds = Machine::Current().ElapsedMilliseconds() + service.startDelayMs;
  ++service.startsAccepted;
  return ERROR_SUCCESS;
}

DWORD ServiceManager::RequestStop(Service& service) {
  switch (CurrentState(service)) {
    case SERVICE_STOPPED:
      return ERROR_SERVICE_NOT_ACTIVE;
    case SERVICE_RUNNING:
      break;
    default:  // start or stop already pending
      return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  }
  service.state = SERVICE_STOP_PENDING;
  service.pendingEnds = Machine::Current().ElapsedMilliseconds() + service.stopDelayMs;
  ++service.stopsAccepted;
  return ERROR_SUCCESS;
}

}  // namespace winsim

namespace {

// What a manager or service handle stands for: the object and the access it was opened with.
struct ManagerObject {
  DWORD access;
};
struct ServiceObject {
  Service* service;
  DWORD access;
};

std::shared_ptr<ServiceObject> LookupService(SC_HANDLE handle) {
  return Machine::Current().LookupHandle<ServiceObject>(handle, winsim::HandleKind::Service);
}

void FillStatus(Service& service, LPSERVICE_STATUS status) {
  DWORD state = Machine::Current().services().CurrentState(service);
  *status = SERVICE_STATUS{};
  status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status->dwCurrentState = state;
  status->dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) {
    status->dwCheckPoint = 1;
    status->dwWaitHint = 2000;
  }
}

}  // namespace

SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                                DWORD dwDesiredAccess) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  // Only the local machine exists: a null or empty name.
  if (lpMachineName != nullptr && lpMachineName[0] != 0) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return nullptr;
  }
  if (lpDatabaseName != nullptr &&
      !winsim::EqualsIgnoringCase(winsim::FromPtr(lpDatabaseName), u"ServicesActive")) {
    SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
    return nullptr;
  }
  HANDLE handle =
      Machine::Current().AddHandle(winsim::HandleKind::ServiceManager,
                                   std::make_shared<ManagerObject>(ManagerObject{dwDesiredAccess}));
  winsim::PoisonLastError();
  return reinterpret_cast<SC_HANDLE>(handle);
}

SC_HANDLE WINAPI OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  Machine& machine = Machine::Current();
  auto manager =
      machine.LookupHandle<ManagerObject>(hSCManager, winsim::HandleKind::ServiceManager);
  if (manager == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (lpServiceName == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return nullptr;
  }
  if ((manager->access & SC_MANAGER_CONNECT) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  Service* service = machine.services().Find(winsim::FromPtr(lpServiceName));
  if (service == nullptr) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  HANDLE handle =
      machine.AddHandle(winsim::HandleKind::Service,
                        std::make_shared<ServiceObject>(ServiceObject{service, dwDesiredAccess}));
  winsim::PoisonLastError();
  return reinterpret_cast<SC_HANDLE>(handle);
}

BOOL WINAPI StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                          LPCWSTR* lpServiceArgVectors) {
  (void)dwNumServiceArgs;
  (void)lpServiceArgVectors;
  WINSIM_ENTER_OR_FAIL(FALSE);
  auto object = LookupService(hService);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if ((object->access & SERVICE_START) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD error = Machine::Current().services().RequestStart(*object->service);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  auto object = LookupService(hService);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if ((object->access & SERVICE_QUERY_STATUS) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (lpServiceStatus == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  FillStatus(*object->service, lpServiceStatus);
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  auto object = LookupService(hService);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpServiceStatus == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  if (dwControl != SERVICE_CONTROL_STOP) {
    // Only the stop control is modelled; the spooler accepts no other.
    FillStatus(*object->service, lpServiceStatus);
    SetLastError(ERROR_INVALID_SERVICE_CONTROL);
    return FALSE;
  }
  if ((object->access & SERVICE_STOP) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD error = Machine::Current().services().RequestStop(*object->service);
  // The status is returned on success and with the "not active" and "cannot accept" errors.
  FillStatus(*object->service, lpServiceStatus);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  // The service answers the control before it has stopped, however short its stop is.
  lpServiceStatus->dwCurrentState = SERVICE_STOP_PENDING;
  lpServiceStatus->dwControlsAccepted = 0;
  lpServiceStatus->dwCheckPoint = 1;
  lpServiceStatus->dwWaitHint = 2000;
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  Machine& machine = Machine::Current();
  if (!machine.RemoveHandle(hSCObject, winsim::HandleKind::Service) &&
      !machine.RemoveHandle(hSCObject, winsim::HandleKind::ServiceManager)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  winsim::PoisonLastError();
  return TRUE;
}
