// A set of session numbers, kept in a fixed array: the sessions whose tray companion a removal
// stopped, so that the install that follows starts it again there. A terminal server with more
// sessions than the array holds gets the companion back in the others at their next logon.
#pragma once

#include <windows.h>

struct SessionList {
  static constexpr int kCapacity = 256;
  int count = 0;
  DWORD ids[kCapacity] = {};

  bool Contains(DWORD id) const {
    for (int i = 0; i < count; ++i) {
      if (ids[i] == id) return true;
    }
    return false;
  }
  void Add(DWORD id) {
    if (count < kCapacity && !Contains(id)) ids[count++] = id;
  }
};
