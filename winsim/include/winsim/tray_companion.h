// A scripted tray companion, the program the installer starts, asks to quit and deletes. It
// keeps the companion's contract: one instance at a time through its named mutex, which it
// owns while it runs; a top-level window of its class; the quit request WM_USER + 2. How it
// reacts to the request, and how late, is the test's choice.
#pragma once

#include <windows.h>

#include "winsim/machine.h"
#include "winsim/security.h"
#include "winsim/text.h"

namespace winsim {

struct TrayCompanion {
  static constexpr const char* kMutexName = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
  static constexpr const char16_t* kWindowClass = u"vxs::{05759F8E-103D-41B6-8A61-EFAA89516692}";
  static constexpr UINT kQuitRequest = WM_USER + 2;

  enum class OnQuit {
    ReleaseAndEnd,      // closes its window, releases the mutex and ends
    Ignore,             // never quits
    CloseWindowOnly,    // closes its window and runs on, mutex and file held
    EndWithoutRelease,  // ends owning the mutex: the next waiter finds it abandoned
  };
  OnQuit onQuit = OnQuit::ReleaseAndEnd;
  // Virtual time between the posting of the request and the companion's reaction.
  DWORD quitDelayMs = 0;
  // False: it runs without a window, so none of its class is ever found.
  bool showsWindow = true;

  // Makes the file (staged when missing) this companion's program, for CreateProcessW.
  void InstallAt(Machine& machine, const WideText& path) const;
  // Installs it and starts an instance now, as the logon would; returns the process id.
  DWORD RunAt(Machine& machine, const WideText& path) const;
  // The same, as the logon of the token's user does in the token's session.
  DWORD RunAs(Machine& machine, const WideText& path, const Token& user) const;
};

}  // namespace winsim
