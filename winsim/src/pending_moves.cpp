// MoveFileExW. Scheduled for the next boot, it appends the source and the new name (empty for
// a deletion) to the Session Manager's "PendingFileRenameOperations", each with the "\??\"
// prefix, as the platform does. Without that flag a file is renamed at once (files.cpp).
#include <windows.h>

#include "winsim/files.h"
#include "winsim/processes.h"
#include "winsim/registry.h"

using winsim::Machine;
using winsim::WideText;

namespace {
const WideText kSessionManager = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const WideText kPendingValue = u"PendingFileRenameOperations";

void AppendString(std::vector<BYTE>& bytes, const WideText& text) {
  const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
  bytes.insert(bytes.end(), begin, begin + (text.size() + 1) * sizeof(char16_t));
}
}  // namespace

BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (lpExistingFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!(dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT)) {
    if (lpNewFileName == nullptr) {
      SetLastError(ERROR_CALL_NOT_IMPLEMENTED);  // an immediate deletion is not simulated
      return FALSE;
    }
    DWORD error = Machine::Current().files().MoveNow(winsim::FromPtr(lpExistingFileName),
                                                     winsim::FromPtr(lpNewFileName), dwFlags);
    if (error != ERROR_SUCCESS) {
      SetLastError(error);
      return FALSE;
    }
    winsim::PoisonLastError();
    return TRUE;
  }
  winsim::Registry& registry = Machine::Current().registry();
  std::vector<BYTE> data;
  if (const auto* value = registry.GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue)) {
    data = value->data;
    // Drop the closing empty string; it is written again after the new pair.
    if (data.size() >= 2 && data[data.size() - 1] == 0 && data[data.size() - 2] == 0) {
      data.resize(data.size() - 2);
    }
  }
  // The table holds full paths, whatever form the caller gave.
  const winsim::Processes& processes = Machine::Current().processes();
  AppendString(data, u"\\??\\" + processes.FullPath(winsim::FromPtr(lpExistingFileName)));
  WideText target = processes.FullPath(winsim::FromPtr(lpNewFileName));
  AppendString(data, target.empty() ? target : u"\\??\\" + target);
  AppendString(data, WideText());
  registry.SetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, REG_MULTI_SZ, data);
  winsim::PoisonLastError();
  return TRUE;
}
