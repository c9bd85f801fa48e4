// Staging of the Session Manager's "PendingFileRenameOperations" value for the tests of the
// pending-rename table and the post-reboot check.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "winsim/machine.h"
#include "winsim/registry.h"
#include "winsim/text.h"

namespace pending_rename_value {

inline const winsim::WideText kSessionManager =
    u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline const winsim::WideText kName = u"PendingFileRenameOperations";

// The UTF-16 units of the text as bytes, embedded zeros included, nothing added.
inline std::vector<BYTE> Bytes(const std::u16string& units) {
  const BYTE* begin = reinterpret_cast<const BYTE*>(units.data());
  return std::vector<BYTE>(begin, begin + units.size() * sizeof(char16_t));
}

inline void SetRaw(const std::vector<BYTE>& bytes, DWORD type = REG_MULTI_SZ) {
  winsim::Machine::Current().registry().SetValue(HKEY_LOCAL_MACHINE, kSessionManager, kName, type,
                                                 bytes);
}

// A well-formed list: each string terminated, then the closing empty string.
inline void SetStrings(const std::vector<winsim::WideText>& strings) {
  winsim::Machine::Current().registry().SetMultiString(HKEY_LOCAL_MACHINE, kSessionManager, kName,
                                                       strings);
}

inline std::vector<BYTE> StoredBytes() {
  const auto* value =
      winsim::Machine::Current().registry().GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kName);
  return value == nullptr ? std::vector<BYTE>() : value->data;
}

}  // namespace pending_rename_value
