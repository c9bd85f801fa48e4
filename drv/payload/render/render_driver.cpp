// Stand-in render DLL of the printer driver. The installer only stages it, registers it with
// the driver and reads its build number from the version resource; nothing renders through it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
