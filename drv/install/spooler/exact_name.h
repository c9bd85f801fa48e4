// How the installer recognises its own spooler objects and the default printer: an exact,
// case-sensitive comparison of whole names, terminator included. The walk stops at the first
// difference, so it never reads past the end of the shorter name.
#pragma once

#include <windows.h>

inline bool IsExactName(const WCHAR* name, const WCHAR* expected) {
  if (name == nullptr || expected == nullptr) return false;
  for (;; ++name, ++expected) {
    if (*name != *expected) return false;
    if (*name == 0) return true;
  }
}
