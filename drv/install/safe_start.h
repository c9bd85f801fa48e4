// Safe start: where the program's DLLs may come from, settled before anything loads one.
//
// The installer runs elevated from a folder that anyone may have put DLLs into. Its only
// static imports are DLLs the system always takes from its own directory; the others it uses
// are loaded at their first call (cmake/windows.cmake). RestrictDllSearch, called first thing,
// makes those loads, and every load the spooler makes inside this process, search the system
// directory only:
// - SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) where the system has it (looked up
//   at run time, so that a system without it still starts the program);
// - elsewhere the current directory leaves the search (SetDllDirectoryW with an empty path),
//   and the delay-loaded DLLs the system does not always take from its own directory
//   (winspool.drv, version.dll) are loaded right away by their full system path, so that their
//   first call finds them loaded instead of searching the program's own folder.
//
// The returned object holds those early loads for as long as the program runs.
#pragma once

#include <windows.h>

#include "foundation/handles.h"

class RestrictedDllSearch {
 public:
  RestrictedDllSearch() = default;
  RestrictedDllSearch(RestrictedDllSearch&&) = default;
  RestrictedDllSearch(const RestrictedDllSearch&) = delete;
  RestrictedDllSearch& operator=(const RestrictedDllSearch&) = delete;

  using Preloads = UniqueLibrary[2];

 private:
  friend RestrictedDllSearch RestrictDllSearch();
  Preloads preloaded_;
};

RestrictedDllSearch RestrictDllSearch();
