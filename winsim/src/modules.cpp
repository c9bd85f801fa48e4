// LoadLibraryExW and GetProcAddress for the system libraries the installer reaches at run time.
// Only simulated system libraries can be loaded, by bare name or from the system directory;
// each load gives a handle of its own (kind Module), released with FreeLibrary. kernel32 is
// always there: GetModuleHandleW gives its fixed handle, which exports what the installer looks
// up at run time: SetDefaultDllDirectories, GetTempPath2W and IsWow64Process2 on a machine that has
// each, and the boundary and private-namespace calls as the machine's namespaces are present or
// missing.
#include <roapi.h>
#include <windows.h>
#include <userenv.h>
#include <winspool.h>
#include <winstring.h>
#include <wtsapi32.h>

#include <string.h>

#include "winsim/machine.h"
#include "winsim/namespaces.h"
#include "winsim/processes.h"
#include "winsim/spooler.h"
#include "winsim/text.h"

using winsim::Machine;
using winsim::WideText;

namespace {

struct Export {
  WORD ordinal;
  const char* name;
  FARPROC address;
};

struct SystemLibrary {
  const char16_t* fileName;
  std::vector<Export> exports;
};

template <typename Function>
FARPROC AsProc(Function function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(function));
}

const std::vector<SystemLibrary>& SystemLibraries() {
  static const std::vector<SystemLibrary> libraries = {
      {u"winspool.drv",
       {{203, "GetDefaultPrinterW", AsProc(&GetDefaultPrinterW)},
        {204, "SetDefaultPrinterW", AsProc(&SetDefaultPrinterW)}}},
      {u"version.dll", {}},
      {u"combase.dll",
       {{0, "RoInitialize", AsProc(&RoInitialize)},
        {0, "RoUninitialize", AsProc(&RoUninitialize)},
        {0, "RoGetActivationFactory", AsProc(&RoGetActivationFactory)},
        {0, "WindowsCreateString", AsProc(&WindowsCreateString)},
        {0, "WindowsDeleteString", AsProc(&WindowsDeleteString)}}},
      {u"bcrypt.dll", {{0, "BCryptGenRandom", AsProc(&winsim::BCryptGenRandom)}}},
      {u"wtsapi32.dll",
       {{0, "WTSEnumerateSessionsW", AsProc(&winsim::WTSEnumerateSessionsW)},
        {0, "WTSFreeMemory", AsProc(&winsim::WTSFreeMemory)},
        {0, "WTSQueryUserToken", AsProc(&winsim::WTSQueryUserToken)}}},
      {u"userenv.dll",
       {{0, "CreateEnvironmentBlock", AsProc(&winsim::CreateEnvironmentBlock)},
        {0, "DestroyEnvironmentBlock", AsProc(&winsim::DestroyEnvironmentBlock)}}},
      {u"advapi32.dll", {{0, "CreateProcessWithTokenW", AsProc(&winsim::CreateProcessWithTokenW)}}},
  };
  return libraries;
}

const SystemLibrary* FindLibrary(const WideText& path) {
  size_t separator = path.find_last_of(u"\\/");
  WideText fileName = separator == WideText::npos ? path : path.substr(separator + 1);
  if (separator != WideText::npos &&
      !winsim::EqualsIgnoringCase(path.substr(0, separator), winsim::Spooler::SystemDirectory())) {
    return nullptr;
  }
  for (const SystemLibrary& library : SystemLibraries()) {
    if (winsim::EqualsIgnoringCase(fileName, library.fileName)) return &library;
  }
  return nullptr;
}

// kernel32's exports that are found at run time, as far as this machine has them. Without
// private namespaces only the boundary descriptor's creation and its (crashing) stub are there.
FARPROC KernelExport(const char* name) {
  Machine& machine = Machine::Current();
  bool namespaces = machine.namespaces().present;
  struct Entry {
    const char* name;
    bool present;
    FARPROC address;
  } exports[] = {
      {"SetDefaultDllDirectories", machine.processes().hasSetDefaultDllDirectories,
       AsProc(&SetDefaultDllDirectories)},
      {"GetTempPath2W", machine.processes().hasGetTempPath2, AsProc(&winsim::GetTempPath2W)},
      {"IsWow64Process2", machine.processes().hasIsWow64Process2, AsProc(&IsWow64Process2)},
      {"CreateBoundaryDescriptorW", true, AsProc(&CreateBoundaryDescriptorW)},
      {"AddSIDToBoundaryDescriptor", true, AsProc(&AddSIDToBoundaryDescriptor)},
      {"DeleteBoundaryDescriptor", namespaces, AsProc(&DeleteBoundaryDescriptor)},
      {"CreatePrivateNamespaceW", namespaces, AsProc(&CreatePrivateNamespaceW)},
      {"OpenPrivateNamespaceW", namespaces, AsProc(&OpenPrivateNamespaceW)},
      {"ClosePrivateNamespace", namespaces, AsProc(&ClosePrivateNamespace)},
  };
  for (const Entry& entry : exports) {
    if (strcmp(entry.name, name) == 0) return entry.present ? entry.address : nullptr;
  }
  return nullptr;
}

HMODULE KernelModule() {
  return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7ff810000000ull));
}

}  // namespace

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  if (lpModuleName != nullptr &&
      (winsim::EqualsIgnoringCase(winsim::FromPtr(lpModuleName), u"kernel32.dll") ||
       winsim::EqualsIgnoringCase(winsim::FromPtr(lpModuleName), u"kernel32"))) {
    winsim::PoisonLastError();
    return KernelModule();
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

BOOL WINAPI SetDllDirectoryW(LPCWSTR lpPathName) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  winsim::Processes& processes = Machine::Current().processes();
  processes.dllDirectorySet = true;
  processes.dllDirectory = lpPathName == nullptr ? u"" : winsim::FromPtr(lpPathName);
  winsim::PoisonLastError();
  return TRUE;
}

HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  (void)dwFlags;
  WINSIM_ENTER_OR_FAIL(nullptr);
  if (lpLibFileName == nullptr || hFile != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Machine::Current().processes().libraryLoads.push_back(winsim::FromPtr(lpLibFileName));
  const SystemLibrary* library = FindLibrary(winsim::FromPtr(lpLibFileName));
  if (library == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // The handle's object is the library description, which outlives every machine.
  std::shared_ptr<void> object(const_cast<SystemLibrary*>(library), [](void*) {});
  HANDLE handle = Machine::Current().AddHandle(winsim::HandleKind::Module, object);
  winsim::PoisonLastError();
  return static_cast<HMODULE>(handle);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  if (hModule == KernelModule()) {
    FARPROC found =
        (reinterpret_cast<ULONG_PTR>(lpProcName) >> 16) != 0 ? KernelExport(lpProcName) : nullptr;
    if (found != nullptr) {
      winsim::PoisonLastError();
      return found;
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  auto library =
      Machine::Current().LookupHandle<const SystemLibrary>(hModule, winsim::HandleKind::Module);
  if (library == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ULONG_PTR value = reinterpret_cast<ULONG_PTR>(lpProcName);
  for (const Export& entry : library->exports) {
    bool match = (value >> 16) == 0 ? entry.ordinal != 0 && entry.ordinal == value
                                    : lpProcName != nullptr && strcmp(entry.name, lpProcName) == 0;
    if (match) {
      winsim::PoisonLastError();
      return entry.address;
    }
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}
