// Whole-text comparisons of the installer. Both walk unit by unit and stop at the first
// difference, so they never read past the end of the shorter text. The platform's lstrcmp
// functions are not used for this: they compare by locale, may equate different characters
// and skip ignorable ones, which would let a name that is not ours count as ours.
#pragma once

#include <windows.h>

// Exact and case-sensitive, terminator included: our spooler objects, the default printer,
// the "def.set" keyword, pending-delete paths. A null text equals nothing.
inline bool IsExactName(const WCHAR* name, const WCHAR* expected) {
  if (name == nullptr || expected == nullptr) return false;
  for (;; ++name, ++expected) {
    if (*name != *expected) return false;
    if (*name == 0) return true;
  }
}

inline WCHAR FoldAsciiLetter(WCHAR c) {
  return c >= L'A' && c <= L'Z' ? static_cast<WCHAR>(c - L'A' + L'a') : c;
}

// Only the letters A to Z fold onto a to z; every other unit must match exactly.
inline bool EqualsIgnoringAsciiCase(const WCHAR* text, const WCHAR* expected) {
  for (;; ++text, ++expected) {
    if (FoldAsciiLetter(*text) != FoldAsciiLetter(*expected)) return false;
    if (*text == 0) return true;
  }
}

// A path from a drive's root ("C:\..."): never taken from the working directory.
inline bool StartsAtDriveRoot(const WCHAR* path) {
  if (path == nullptr) return false;
  WCHAR letter = FoldAsciiLetter(path[0]);
  return letter >= L'a' && letter <= L'z' && path[1] == L':' && path[2] == L'\\';
}
