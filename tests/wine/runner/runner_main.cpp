// Entry of the Windows test runner: wine_runner.exe [gtest options] <package folder>
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

#include "runner_support.h"

int main(int argc, char** argv) {
  // The spooler runs inside this process on Wine and loads a monitor DLL by its bare name:
  // only the system directory may provide it, never the runner's own folder.
  if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    fprintf(stderr, "SetDefaultDllDirectories failed: %lu\n", GetLastError());
    return 2;
  }
  testing::InitGoogleTest(&argc, argv);
  if (argc != 2) {
    fprintf(stderr, "usage: wine_runner [gtest options] <package folder>\n");
    return 2;
  }
  SetPackageDir(argv[1]);
  return RUN_ALL_TESTS();
}
