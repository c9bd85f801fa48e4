// Reading the command line: the mode keyword and the optional owner window.
#pragma once

#include <windows.h>

enum class RunMode {
  None,  // no keyword matched
  QueryDriverBuild,
  PostRebootCheck,
  Uninstall,
  RemoveTray,
  Install,
  InstallWithoutTray,
  MakeOurPrinterDefault,
  SessionStop,  // internal: started by an installer run in a user's session (tray/session_stop.h)
};

// The mode a keyword selects. Keywords are compared whole, folding only the letters A to Z,
// except "def.set", which must match exactly.
RunMode ModeFromKeyword(const WCHAR* keyword);

// A signed decimal number: leading white space skipped, an optional sign, then the digits up to
// the first other character; 0 when there are none; clamped to the signed 32-bit range.
LONG ParseDecimal(const WCHAR* text);

// The window an argument names by its decimal handle, or null when it names no window.
HWND OwnerWindowFromArgument(const WCHAR* argument);
