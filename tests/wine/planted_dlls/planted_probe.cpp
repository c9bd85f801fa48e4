// Loads each DLL named on its command line by its bare name, with the platform's default
// search, as a program that took no care would. Run from the folder of the planted DLLs, it
// shows that the planted copies and the load-order override are in effect: each leaves its
// marker. Exits with the number of names that did not load.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  int failed = 0;
  for (int i = 1; i < argc; ++i) {
    if (LoadLibraryW(argv[i]) == nullptr) ++failed;
  }
  return failed;
}
