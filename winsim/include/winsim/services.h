// Simulated service control manager with the "spooler" service.
//
// A service moves through the platform's states: a start request puts it in START_PENDING and
// a stop request in STOP_PENDING; the pending state ends after the configured delay of virtual
// time (Sleep moves the clock), or never when the service is scripted to hang. A disabled
// service refuses to start.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <deque>

#include "winsim/machine.h"
#include "winsim/text.h"

namespace winsim {

struct Service {
  WideText name;
  DWORD state = SERVICE_RUNNING;
  DWORD startDelayMs = 0;
  DWORD stopDelayMs = 0;
  bool neverStarts = false;  // stays START_PENDING once started
  bool neverStops = false;   // stays STOP_PENDING once asked to stop
  bool disabled = false;     // StartServiceW fails with ERROR_SERVICE_DISABLED
  // Requests the service accepted, for tests that check what a run did.
  unsigned startsAccepted = 0;
  unsigned stopsAccepted = 0;

  // Virtual time (Machine::ElapsedMilliseconds) at which a pending state ends.
  uint64_t pendingEnds = 0;
};

class ServiceManager {
 public:
  ServiceManager();

  // Case-insensitive lookup, as service names are; null when there is no such service.
  Service* Find(const WideText& name);
  Service& Spooler() { return *Find(u"spooler"); }

  // The service's state now, after finishing a pending state whose time has come.
  DWORD CurrentState(Service& service);
  bool IsRunning(const WideText& name);

  // What the API calls do to a service; each returns ERROR_SUCCESS or the platform's error.
  DWORD RequestStart(Service& service);
  DWORD RequestStop(Service& service);

 private:
  std::deque<Service> services_;  // stable addresses: handles point to their service
};

}  // namespace winsim
