#include "default_printer.h"

#include "../foundation/system_library.h"

namespace {

constexpr WORD kGetDefaultPrinterOrdinal = 203;
constexpr WORD kSetDefaultPrinterOrdinal = 204;

// Function pointers of any type pass through void(*)(void), which the compilers accept without
// a cast-function-type warning.
template <typename Proc>
Proc ImportByOrdinal(HMODULE library, WORD ordinal) {
  if (library == nullptr) return nullptr;
  FARPROC address = GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)(void)>(address));
}

}  // namespace

DefaultPrinterOperations::DefaultPrinterOperations()
    : library_(LoadSystemLibrary(L"winspool.drv")) {
  get_ = ImportByOrdinal<GetDefaultProc>(library_.get(), kGetDefaultPrinterOrdinal);
  set_ = ImportByOrdinal<SetDefaultProc>(library_.get(), kSetDefaultPrinterOrdinal);
}

bool DefaultPrinterOperations::GetDefault(WCHAR* buffer, DWORD* capacity) {
  if (get_ == nullptr) {
    SetLastError(library_ ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
    return false;
  }
  return get_(buffer, capacity) != FALSE;
}

bool DefaultPrinterOperations::SetDefault(const WCHAR* printerName) {
  if (set_ == nullptr) {
    SetLastError(library_ ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
    return false;
  }
  return set_(printerName) != FALSE;
}
