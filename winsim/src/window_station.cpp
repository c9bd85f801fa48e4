// The process's window station: GetProcessWindowStation and the UOI_FLAGS query of
// GetUserObjectInformationW, whose WSF_VISIBLE tells whether a user can see its windows.
#include <string.h>

#include "winsim/desktop.h"

using winsim::Machine;

namespace {
// A system-owned handle, as the platform hands out: the program never closes it, so it stays
// out of the handle accounting.
HWINSTA ProcessWindowStation() {
  return reinterpret_cast<HWINSTA>(static_cast<uintptr_t>(0x38));
}
}  // namespace

HWINSTA WINAPI GetProcessWindowStation(void) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  winsim::PoisonLastError();
  return ProcessWindowStation();
}

BOOL WINAPI GetUserObjectInformationW(HANDLE hObj, int nIndex, PVOID pvInfo, DWORD nLength,
                                      LPDWORD lpnLengthNeeded) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (hObj != ProcessWindowStation()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (nIndex != UOI_FLAGS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (lpnLengthNeeded != nullptr) *lpnLengthNeeded = sizeof(USEROBJECTFLAGS);
  if (pvInfo == nullptr || nLength < sizeof(USEROBJECTFLAGS)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  USEROBJECTFLAGS flags;
  memset(&flags, 0, sizeof(flags));
  flags.dwFlags = Machine::Current().desktop().windowStationVisible ? WSF_VISIBLE : 0;
  memcpy(pvInfo, &flags, sizeof(flags));
  winsim::PoisonLastError();
  return TRUE;
}
