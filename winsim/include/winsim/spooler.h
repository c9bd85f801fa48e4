// Simulated print spooler: grows with the parts of the installer that need it.
#pragma once

#include "winsim/machine.h"
#include "winsim/text.h"

namespace winsim {

class Spooler {
 public:
  // What GetPrinterDriverDirectoryW reports for "Windows x64" (no trailing backslash, as the
  // platform gives it).
  WideText driverDirectory = u"C:\\windows\\system32\\spool\\drivers\\x64";
};

}  // namespace winsim
