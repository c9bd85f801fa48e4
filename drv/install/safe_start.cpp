#include "safe_start.h"

#include "foundation/system_library.h"

namespace {

// The DLLs the Windows build loads at their first call (cmake/windows.cmake) that the system
// does not always take from its own directory; user32 and shell32, delay-loaded as well, it
// always does.
const WCHAR* const kDelayLoadedLibraries[] = {L"winspool.drv", L"version.dll"};
constexpr int kDelayLoadedCount = sizeof(kDelayLoadedLibraries) / sizeof(kDelayLoadedLibraries[0]);
static_assert(kDelayLoadedCount == sizeof(RestrictedDllSearch::Preloads) / sizeof(UniqueLibrary),
              "one reference held per DLL loaded early");

using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);

// Systems without the newer loader search order lack the function; a static import of it
// would keep the program from starting there at all.
SetDefaultDllDirectoriesProc FindSetDefaultDllDirectories() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return nullptr;
  FARPROC address = GetProcAddress(kernel, "SetDefaultDllDirectories");
  return reinterpret_cast<SetDefaultDllDirectoriesProc>(reinterpret_cast<void (*)(void)>(address));
}

}  // namespace

RestrictedDllSearch RestrictDllSearch() {
  RestrictedDllSearch search;
  SetDefaultDllDirectoriesProc setDefault = FindSetDefaultDllDirectories();
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return search;
  SetDllDirectoryW(L"");
  // A DLL already loaded answers a later load by the same bare name, whatever folder the
  // search would have visited first.
  for (int i = 0; i < kDelayLoadedCount; ++i) {
    search.preloaded_[i].reset(LoadSystemLibrary(kDelayLoadedLibraries[i]));
  }
  return search;
}
