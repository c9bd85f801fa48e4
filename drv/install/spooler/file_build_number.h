// FileBuildNumber: the build number of a file, the fourth number of the product version in its
// version resource. Writes nothing to the log.
#pragma once

#include <windows.h>

// 0 to 65535, or -1 when the file is missing, has no version resource, the resource cannot be
// read or holds no fixed file information, or memory for it cannot be had.
int FileBuildNumber(const WCHAR* path);
