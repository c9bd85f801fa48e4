// What the installer asks before an install: the protected print mode's runtime class through
// combase (loaded from the system directory, calls looked up at run time), the mode's policy
// key, and the native machine from IsWow64Process2.
#include <roapi.h>
#include <winstring.h>

#include "probe.h"

namespace {

constexpr WCHAR kClass[] = L"Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo";
constexpr IID kStaticsIid = {
    0xA7D212F3, 0x4168, 0x5485, {0x98, 0xAB, 0xD8, 0x9D, 0x04, 0x60, 0x3B, 0x40}};

template <typename Proc>
Proc Find(HMODULE module, const char* name) {
  return module == nullptr ? nullptr
                           : reinterpret_cast<Proc>(
                                 reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
}

void ProbeRuntimeClass() {
  WCHAR path[MAX_PATH];
  UINT length = GetSystemDirectoryW(path, MAX_PATH - 16);
  lstrcpyW(path + length, L"\\combase.dll");
  HMODULE combase = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  Observe("wpp.combase", "%s", combase != nullptr ? "loaded" : "missing");
  auto initialize = Find<HRESULT(WINAPI*)(RO_INIT_TYPE)>(combase, "RoInitialize");
  auto uninitialize = Find<void(WINAPI*)(void)>(combase, "RoUninitialize");
  auto getFactory =
      Find<HRESULT(WINAPI*)(HSTRING, REFIID, void**)>(combase, "RoGetActivationFactory");
  auto createString =
      Find<HRESULT(WINAPI*)(LPCWSTR, UINT32, HSTRING*)>(combase, "WindowsCreateString");
  auto deleteString = Find<HRESULT(WINAPI*)(HSTRING)>(combase, "WindowsDeleteString");
  bool all = initialize && uninitialize && getFactory && createString && deleteString;
  Observe("wpp.runtime_calls", "%s", all ? "present" : "missing");
  if (!all) {
    if (combase != nullptr) FreeLibrary(combase);
    return;
  }
  HRESULT joined = initialize(RO_INIT_MULTITHREADED);
  Observe("wpp.ro_initialize", "0x%lx", Number(static_cast<DWORD>(joined)));
  HSTRING name = nullptr;
  HRESULT made = createString(kClass, lstrlenW(kClass), &name);
  Observe("wpp.create_string", "0x%lx", Number(static_cast<DWORD>(made)));
  void* factory = nullptr;
  HRESULT found = getFactory(name, kStaticsIid, &factory);
  Observe("wpp.activation_factory", "0x%lx %s", Number(static_cast<DWORD>(found)),
          factory != nullptr ? "object" : "none");
  if (factory != nullptr) static_cast<IUnknown*>(factory)->Release();
  deleteString(name);
  if (SUCCEEDED(joined)) uninitialize();
  FreeLibrary(combase);
}

}  // namespace

void ProbeUnusableWindows() {
  ProbeRuntimeClass();
  HKEY key = nullptr;
  LSTATUS opened =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP",
                    0, KEY_QUERY_VALUE, &key);
  ObserveStatus("wpp.policy_key", static_cast<DWORD>(opened));
  if (opened == ERROR_SUCCESS) RegCloseKey(key);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto isWow64Process2 = Find<BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*)>(kernel, "IsWow64Process2");
  Observe("arch.is_wow64_process2", "%s", isWow64Process2 != nullptr ? "present" : "missing");
  if (isWow64Process2 == nullptr) return;
  USHORT process = 0xFFFF;
  USHORT native = 0xFFFF;
  BOOL answered = isWow64Process2(GetCurrentProcess(), &process, &native);
  Observe("arch.machines", "%s process 0x%x native 0x%x", answered ? "ok" : "fail",
          static_cast<unsigned>(process), static_cast<unsigned>(native));
}
