// The spooler library's operations on the user's default printer, which the installer imports
// by ordinal at run time: 203 reads the default printer's name, 204 makes a printer the
// default. The library is loaded from the system directory only, so a file of the same name
// beside the installer is never picked up.
//
// Owns its reference on the library and drops it when it goes out of scope. When the library
// or an ordinal cannot be had, the operations fail and the last error says why.
#pragma once

#include <windows.h>

#include "../foundation/handles.h"

class DefaultPrinterOperations {
 public:
  DefaultPrinterOperations();
  DefaultPrinterOperations(const DefaultPrinterOperations&) = delete;
  DefaultPrinterOperations& operator=(const DefaultPrinterOperations&) = delete;

  // Fills `buffer` with the default printer's name; `capacity` is its size in characters on the
  // way in and the size the name needs, terminator included, on the way out.
  bool GetDefault(WCHAR* buffer, DWORD* capacity);
  bool SetDefault(const WCHAR* printerName);

 private:
  using GetDefaultProc = BOOL(WINAPI*)(LPWSTR, LPDWORD);
  using SetDefaultProc = BOOL(WINAPI*)(LPCWSTR);

  UniqueLibrary library_;
  GetDefaultProc get_ = nullptr;
  SetDefaultProc set_ = nullptr;
};
