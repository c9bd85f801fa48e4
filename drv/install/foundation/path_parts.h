// Parts of a path, found by its separators alone: nothing is looked up on disk.
#pragma once

#include <windows.h>

// The file name at the end of a path: what follows its last backslash, slash or drive colon.
inline const WCHAR* FileNamePart(const WCHAR* path) {
  const WCHAR* name = path;
  for (const WCHAR* at = path; *at != 0; ++at) {
    if (*at == L'\\' || *at == L'/' || *at == L':') name = at + 1;
  }
  return name;
}
