// LoadLibraryExW and GetProcAddress for the system libraries the installer reaches at run time.
// Only simulated system libraries can be loaded, by bare name or from the system directory;
// each load gives a handle of its own (kind Module), released with FreeLibrary.
#include <windows.h>
#include <winspool.h>

#include <string.h>

#include "winsim/machine.h"
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

}  // namespace

HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  (void)dwFlags;
  WINSIM_ENTER_OR_FAIL(nullptr);
  if (lpLibFileName == nullptr || hFile != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
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
  auto library =
      Machine::Current().LookupHandle<const SystemLibrary>(hModule, winsim::HandleKind::Module);
  if (library == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ULONG_PTR value = reinterpret_cast<ULONG_PTR>(lpProcName);
  for (const Export& entry : library->exports) {
    bool match = (value >> 16) == 0 ? entry.ordinal == value
                                    : lpProcName != nullptr && strcmp(entry.name, lpProcName) == 0;
    if (match) {
      winsim::PoisonLastError();
      return entry.address;
    }
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}
