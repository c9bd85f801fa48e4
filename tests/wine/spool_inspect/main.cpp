// spool_inspect.exe: one or more verbs separated by "+", run in order in one process; the exit
// code is 0 when every verb succeeded, 1 when one failed (the rest still run), 2 on bad usage.
//
//   state                              the spooler, registry and tray state (state.cpp)
//   add-monitor NAME DLL               AddMonitorW level 2, "Windows x64"
//   add-driver NAME DRIVER UI [HELP]   AddPrinterDriverExW level 3 with APD_COPY_ALL_FILES
//   add-printer NAME PORT DRIVER [comment=T] [location=T] [subkey=T] [default] [nulltype]
//   add-printers FIRST LAST PORT DRIVER  "vexaWriter FIRST".."vexaWriter LAST", each with its
//                                      own comment, location and settings key; number 1 the default
//   mark SUBKEY                        HKCU settings key with the value "deleted"
//   run-value PATH                     HKLM Run value "vexaWriterTray"
//   start PATH                         starts a program and does not wait
//   purge PRINTER                      prints "purge ok" or "purge error N"
//   delete-driver NAME FLAGS           prints "delete-driver ok" or "delete-driver error N"
//   delete-printer NAME                DeletePrinter
//   set-default PRINTER                the set-default operation (ordinal 204)
#include <windows.h>

#include "spool_tool.h"

namespace {

bool RunVerb(int argc, WCHAR** argv) {
  if (argc == 0) return true;
  if (lstrcmpW(argv[0], L"state") == 0) return spool_tool::PrintState(argc - 1, argv + 1);
  bool known = false;
  bool ok = spool_tool::StageVerb(argv[0], argc - 1, argv + 1, &known);
  if (!known) {
    spool_tool::PrintNarrow("unknown verb\n");
    return false;
  }
  return ok;
}

}  // namespace

int wmain(int argc, WCHAR** argv) {
  if (argc < 2) {
    spool_tool::PrintNarrow("usage: spool_inspect VERB ARGS [+ VERB ARGS]...\n");
    return 2;
  }
  bool ok = true;
  int start = 1;
  for (int i = 1; i <= argc; ++i) {
    if (i == argc || lstrcmpW(argv[i], L"+") == 0) {
      ok = RunVerb(i - start, argv + start) && ok;
      start = i + 1;
    }
  }
  return ok ? 0 : 1;
}
