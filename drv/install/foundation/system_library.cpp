#include "system_library.h"

HMODULE LoadSystemLibrary(const WCHAR* fileName) {
  WCHAR path[MAX_PATH];
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0) return nullptr;
  // The directory, a backslash and the name must all fit; a cut path could name another file.
  if (length >= MAX_PATH || length + 1 + lstrlenW(fileName) >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  if (path[length - 1] != L'\\') lstrcatW(path, L"\\");
  lstrcatW(path, fileName);
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
