// Shared helpers of the Windows test runner: where the package lies, text for assertions,
// throwaway directories and whole-file reads and writes through the platform's file calls.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/wstring.h"

// The package folder named on the command line; paths below it are built with PackagePath.
void SetPackageDir(const char* path);
WString PackagePath(const WCHAR* relative);

// UTF-8 of wide text, so that assertions print readably; null gives "(null)".
std::string Utf8(const WCHAR* text);
// True under Wine, whose spooler differs from Windows in a few documented points.
bool RunningOnWine();

// A new directory in the temporary folder, removed with the files in it when released.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Ends in a backslash.
  const WCHAR* Path() const { return path_.Text(); }
  WString File(const WCHAR* name) const;

 private:
  WString path_;
};

bool WriteWholeFile(const WCHAR* path, const std::vector<BYTE>& bytes);
bool ReadWholeFile(const WCHAR* path, std::vector<BYTE>& bytes);
// Bytes 0, 1, 2... modulo a prime, so that a chunk copied to the wrong offset shows.
std::vector<BYTE> PatternBytes(size_t count);
