// Fixture for running the program's entry point on a simulated machine: the program's log
// window template registered as the resource script defines it, the command line set from a
// text, and the dialogs the run showed.
#pragma once

#include <windows.h>

#include "resources/resource_ids.h"
#include "test_support.h"
#include "winsim/desktop.h"
#include "winsim/processes.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

class EntryTest : public MachineTest {
 protected:
  EntryTest() { StageLogWindow(); }
  void StageLogWindow() {
    desktop().dialogTemplates[IDD_LOG_WINDOW] = {
        u"", {{IDOK, u"Button", u"Close", true}, {IDC_LOG_TEXT, u"Edit", u""}}};
  }

  // Runs the program with the given arguments after the program path.
  int Run(const std::string& arguments) {
    machine().processes().SetArguments(Widen(arguments));
    return wWinMain(winsim::Processes::ProgramModule(), nullptr, nullptr, 1);
  }

  winsim::Desktop& desktop() { return machine().desktop(); }
  std::string DialogTitle(size_t index = 0) { return Utf8(desktop().shownDialogs.at(index).title); }
  std::string DialogLog(size_t index = 0) {
    return Utf8(desktop().shownDialogs.at(index).itemTexts.at(IDC_LOG_TEXT));
  }
  // A window the owner-window argument can name, written as the decimal handle.
  std::string WindowNumber(HWND window) {
    return std::to_string(static_cast<long long>(reinterpret_cast<LONG_PTR>(window)));
  }
};
