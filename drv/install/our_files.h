// The files of ours that a boot-time deletion may name, as full paths: each payload name (the
// monitor, driver and UI DLLs, the help file) in the system directory, in the printer-driver
// directory and in its version folder "3\", and the companion's path. A directory or path that
// is not known from a drive's root is left out, never taken from the working directory.
// The sweep of pending deletions deletes these and nothing else.
#pragma once

#include "foundation/install_state.h"
#include "foundation/wstring.h"

class OurFiles {
 public:
  // The state's file set and directories; the paths are copies.
  explicit OurFiles(const InstallState& state);
  OurFiles(const OurFiles&) = delete;
  OurFiles& operator=(const OurFiles&) = delete;

  const WCHAR* const* Paths() const { return paths_; }
  int Count() const { return count_; }

 private:
  static constexpr int kMaxPaths = 13;
  void Add(WString path);

  WString storage_[kMaxPaths];
  const WCHAR* paths_[kMaxPaths] = {};
  int count_ = 0;
};
