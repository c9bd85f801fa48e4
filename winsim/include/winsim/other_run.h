// Another run of the installer as a scripted second process, holding the machine-wide run lock
// the way the installer makes it (drv/install/run_lock.cpp): inside the private namespace
// bounded by Administrators where the machine has those, else under its Global\ name, owned
// by Administrators and open to SYSTEM and Administrators only. It lets go of the lock at a
// given virtual time, dies holding it then (the mutex is abandoned, or gone when nobody else
// has it open), or keeps it. With another `security` and `underGlobalName` it is a squatter:
// another account's object under the lock's Global\ name, held or merely made.
#pragma once

#include <stdint.h>

#include "winsim/machine.h"
#include "winsim/security.h"

namespace winsim {

struct OtherRun {
  static constexpr const char* kBoundaryName = "vexaWriter.Install";
  static constexpr const char* kObjectName = "RunLock";
  static constexpr const char* kGlobalName = "Global\\vexaWriter.Install.RunLock";
  static constexpr const char16_t* kProgramPath = u"C:\\other\\drv\\zqvinst64.exe";

  enum class Ends { Releasing, Dying, Never };
  Ends ends = Ends::Releasing;
  uint64_t at = 0;  // virtual time since the machine was made
  bool holds = true;
  // Where it makes the lock: by default where the installer would on this machine.
  enum class Place { AsTheInstaller, GlobalName };
  Place place = Place::AsTheInstaller;
  ObjectSecurity security = AdminOnly();

  static ObjectSecurity AdminOnly();
  // The name the simulation keeps the installer's lock under on this machine; empty when the
  // private namespace does not live at the moment.
  static std::string LockName(Machine& machine);

  // Starts the process now; returns its id.
  DWORD Start(Machine& machine) const;
};

}  // namespace winsim
