// Program entry: picks the mode by the keyword on the command line and answers through the
// exit code.
#include <windows.h>
#include <shellapi.h>

#include "command_line.h"
#include "exit_codes.h"
#include "foundation/handles.h"
#include "program_module.h"
#include "run_modes.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  // The spooler runs inside this process on some systems and loads monitor and driver DLLs by
  // bare name: never from our own folder, which holds DLLs of those names.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetProgramModule(instance);

  int count = 0;
  UniqueLocalBlock arguments(CommandLineToArgvW(GetCommandLineW(), &count));
  auto* argv = static_cast<LPWSTR*>(arguments.get());
  if (argv == nullptr || count < 2) return kExitNoMode;
  // The owner window is taken only from a command line of exactly three arguments.
  HWND owner = count == 3 ? OwnerWindowFromArgument(argv[2]) : nullptr;
  return ExecuteMode(ModeFromKeyword(argv[1]), argv[1], owner);
}
