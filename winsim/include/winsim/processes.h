// Simulated running process: the command line the program was started with, the path of its
// executable, the system directory, and the DLL search order it chose.
#pragma once

#include "winsim/machine.h"
#include "winsim/text.h"

namespace winsim {

class Processes {
 public:
  // The handle the loader passes to the program's entry point for its own executable (its
  // image base). It is not a kernel handle: nothing closes it, so it is not in the handle table.
  static HINSTANCE ProgramModule() {
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x140000000ull));
  }

  // What GetCommandLineW returns; the program path is argument 0.
  WideText commandLine = u"\"C:\\vexa\\drv\\zqvinst64.exe\"";
  // What GetModuleFileNameW reports for the program's module.
  WideText modulePath = u"C:\\vexa\\drv\\zqvinst64.exe";
  // What GetSystemDirectoryW reports (no trailing backslash, as the platform gives it).
  WideText systemDirectory = u"C:\\Windows\\system32";
  // The flags of the last successful SetDefaultDllDirectories call; 0 when it was never made.
  DWORD defaultDllDirectories = 0;

  // Sets the command line to the quoted program path followed by the given arguments text.
  void SetArguments(const WideText& arguments);
};

}  // namespace winsim
