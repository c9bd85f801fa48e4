#include "unusable_windows.h"

#include <windows.h>

#include "foundation/error_codes.h"
#include "foundation/install_log.h"
#include "protected_print.h"

namespace {

using IsWow64Process2Proc = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

bool IsArm64Windows() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  auto isWow64Process2 = reinterpret_cast<IsWow64Process2Proc>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(kernel, "IsWow64Process2")));
  USHORT processMachine = IMAGE_FILE_MACHINE_UNKNOWN;
  USHORT nativeMachine = IMAGE_FILE_MACHINE_UNKNOWN;
  return isWow64Process2 != nullptr &&
         isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine) &&
         nativeMachine == IMAGE_FILE_MACHINE_ARM64;
}

void Refuse(InstallState& state, const WCHAR* message) {
  SetLastError(ERROR_SUCCESS);  // the reason is the whole message: no system text follows it
  ReportError(state, kErrorUnusableWindows, message);
}

}  // namespace

bool WindowsCanRunOurPrinter(InstallState& state) {
  bool usable = true;
  if (ProtectedPrintIsOn()) {
    Refuse(state, kMessageProtectedPrint);
    usable = false;
  }
  if (IsArm64Windows()) {
    Refuse(state, kMessageArm64Windows);
    usable = false;
  }
  return usable;
}
