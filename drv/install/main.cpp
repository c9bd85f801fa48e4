// Program entry: picks the mode by the keyword on the command line and answers through the
// exit code.
#include <windows.h>
#include <shellapi.h>

#include "command_line.h"
#include "exit_codes.h"
#include "foundation/handles.h"
#include "foundation/program_module.h"
#include "run_modes.h"
#include "safe_start.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  // Before anything loads a DLL: the spooler runs inside this process on some systems and
  // loads monitor and driver DLLs by bare name, and our own folder holds DLLs of those names.
  RestrictedDllSearch dllSearch = RestrictDllSearch();
  SetProgramModule(instance);

  int count = 0;
  UniqueLocalBlock arguments(CommandLineToArgvW(GetCommandLineW(), &count));
  auto* argv = static_cast<LPWSTR*>(arguments.get());
  if (argv == nullptr || count < 2) return kExitNoMode;
  // The owner window is taken only from a command line of exactly three arguments.
  RunMode mode = ModeFromKeyword(argv[1]);
  if (mode == RunMode::SessionStop) return ExecuteSessionStop(count == 3 ? argv[2] : nullptr);
  HWND owner = count == 3 ? OwnerWindowFromArgument(argv[2]) : nullptr;
  return ExecuteMode(mode, argv[1], owner);
}
