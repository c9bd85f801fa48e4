// vsample.dll: nothing but its version resource (version_sample.rc).
#include <windows.h>

extern "C" __declspec(dllexport) int VersionSample() {
  return 0;
}
