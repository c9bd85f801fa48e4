// Fuzz target: arbitrary command lines through the program's entry point, on a fresh simulated
// machine per input: quoting, white space, any keyword (the modes it selects run for real) and
// any owner-window number, among two windows that exist.
//
// Input layout: byte 0 bit 0: Shift is held (the log window shows at the end of a sequence);
// the rest is the command line's UTF-16 text after the program path (a trailing odd byte is
// dropped). The entry must answer with one of the program's exit codes and leave no block or
// handle behind; the log window, when shown, is closed by the user.
#include <windows.h>

#include <set>

#include "fuzz_input.h"
#include "resources/resource_ids.h"
#include "winsim/desktop.h"
#include "winsim/processes.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::set<int> kExitCodes = {1, 2, 3, 4, 6, 100, 101, 102, 103, 200};
  FuzzInput input(data, size);
  const bool shift = (input.Byte() & 1) != 0;
  winsim::WideText arguments;
  while (input.Remaining() >= 2) {
    uint8_t low = input.Byte();
    arguments.push_back(static_cast<char16_t>(low | (input.Byte() << 8)));
  }

  winsim::Machine machine;
  winsim::Desktop& desktop = machine.desktop();
  desktop.dialogTemplates[IDD_LOG_WINDOW] = {
      u"", {{IDOK, u"Button", u"Close", true}, {IDC_LOG_TEXT, u"Edit", u""}}};
  desktop.AddWindow(u"Setup", u"Setup");  // 65552
  desktop.AddWindow(u"Other", u"Other");  // 65580
  desktop.shiftDown = shift;
  for (int i = 0; i < 4; ++i) desktop.userActions.push_back(winsim::UserAction::Enter());
  machine.processes().commandLine = machine.processes().commandLine + arguments;

  int code = wWinMain(winsim::Processes::ProgramModule(), nullptr, nullptr, 1);
  if (kExitCodes.count(code) == 0) FuzzFail("fuzz_command_line", "an unknown exit code");
  CheckNothingLeft("fuzz_command_line", machine);
  return 0;
}
