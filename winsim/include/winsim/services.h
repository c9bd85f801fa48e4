// Simulated services: grows with the parts of the installer that need it.
#pragma once

#include "winsim/machine.h"

namespace winsim {

class ServiceManager {
 public:
};

}  // namespace winsim
