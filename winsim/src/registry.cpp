// The simulated registry and the advapi32 registry calls that act on it.
#include "winsim/registry.h"

#include <string.h>

using winsim::Machine;
using winsim::Registry;
using winsim::WideText;

namespace winsim {

namespace {
WideText RootName(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return u"HKLM";
  if (root == HKEY_CURRENT_USER) return u"HKCU";
  if (root == HKEY_CLASSES_ROOT) return u"HKCR";
  if (root == HKEY_USERS) return u"HKU";
  return WideText();
}
}  // namespace

WideText Registry::FullPath(HKEY root, const WideText& path) {
  WideText full = RootName(root);
  if (!path.empty()) full += u"\\" + path;
  while (full.size() > 1 && full.back() == u'\\') full.pop_back();
  return full;
}

Registry::Key* Registry::FindKey(const WideText& fullPath) {
  auto found = keys_.find(FoldCase(fullPath));
  return found == keys_.end() ? nullptr : &found->second;
}

Registry::Key& Registry::MakeKey(const WideText& fullPath) {
  WideText folded = FoldCase(fullPath);
  size_t nameStart = 0;
  for (size_t i = 0; i <= folded.size(); ++i) {
    if (i < folded.size() && folded[i] != u'\\') continue;
    Key& key = keys_[folded.substr(0, i)];
    if (key.name.empty()) key.name = fullPath.substr(nameStart, i - nameStart);
    nameStart = i + 1;
  }
  return keys_[folded];
}

std::vector<const Registry::Key*> Registry::SubKeys(const WideText& fullPath) const {
  std::vector<const Key*> below;
  WideText prefix = FoldCase(fullPath) + u"\\";
  for (auto it = keys_.lower_bound(prefix); it != keys_.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    if (it->first.find(u'\\', prefix.size()) == WideText::npos) below.push_back(&it->second);
  }
  return below;
}

bool Registry::DeleteTree(const WideText& fullPath) {
  WideText folded = FoldCase(fullPath);
  if (keys_.erase(folded) == 0) return false;
  WideText prefix = folded + u"\\";
  for (auto it = keys_.lower_bound(prefix);
       it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
    it = keys_.erase(it);
  }
  return true;
}

void Registry::CreateKey(HKEY root, const WideText& path) {
  MakeKey(FullPath(root, path));
}

bool Registry::KeyExists(HKEY root, const WideText& path) const {
  return keys_.count(FoldCase(FullPath(root, path))) != 0;
}

void Registry::DeleteKey(HKEY root, const WideText& path) {
  keys_.erase(FoldCase(FullPath(root, path)));
}

void Registry::SetValue(HKEY root, const WideText& path, const WideText& name, DWORD type,
                        const std::vector<BYTE>& data) {
  Value& value = MakeKey(FullPath(root, path)).values[FoldCase(name)];
  value.name = name;
  value.type = type;
  value.data = data;
}

namespace {
void AppendUnits(std::vector<BYTE>& bytes, const WideText& text) {
  const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
  bytes.insert(bytes.end(), begin, begin + (text.size() + 1) * sizeof(char16_t));
}
}  // namespace

void Registry::SetString(HKEY root, const WideText& path, const WideText& name,
                         const WideText& text) {
  std::vector<BYTE> bytes;
  AppendUnits(bytes, text);
  SetValue(root, path, name, REG_SZ, bytes);
}

void Registry::SetMultiString(HKEY root, const WideText& path, const WideText& name,
                              const std::vector<WideText>& strings) {
  std::vector<BYTE> bytes;
  for (const WideText& text : strings) AppendUnits(bytes, text);
  AppendUnits(bytes, WideText());
  SetValue(root, path, name, REG_MULTI_SZ, bytes);
}

const Registry::Value* Registry::GetValue(HKEY root, const WideText& path,
                                          const WideText& name) const {
  auto key = keys_.find(FoldCase(FullPath(root, path)));
  if (key == keys_.end()) return nullptr;
  auto value = key->second.values.find(FoldCase(name));
  return value == key->second.values.end() ? nullptr : &value->second;
}

void Registry::DeleteValue(HKEY root, const WideText& path, const WideText& name) {
  if (Key* key = FindKey(FullPath(root, path))) key->values.erase(FoldCase(name));
}

void Registry::DenyAccess(HKEY root, const WideText& path, REGSAM mask) {
  MakeKey(FullPath(root, path)).denied |= mask;
}

}  // namespace winsim

namespace {

Registry& Reg() {
  return Machine::Current().registry();
}

bool IsRoot(HKEY key) {
  return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT ||
         key == HKEY_USERS;
}

// The open key behind a handle, or null; roots count as open with every right.
std::shared_ptr<Registry::OpenKey> Resolve(HKEY key) {
  if (IsRoot(key)) {
    auto root = std::make_shared<Registry::OpenKey>();
    root->path = Registry::FullPath(key, WideText());
    root->access = KEY_ALL_ACCESS;
    return root;
  }
  return Machine::Current().LookupHandle<Registry::OpenKey>(key, winsim::HandleKind::RegistryKey);
}

WideText Narrow(LPCSTR text) {
  WideText wide;
  for (; text != nullptr && *text != 0; ++text) wide.push_back(static_cast<unsigned char>(*text));
  return wide;
}

LSTATUS OpenKey(HKEY hKey, const WideText& subKey, REGSAM samDesired, PHKEY phkResult,
                bool create) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  auto parent = Resolve(hKey);
  if (!parent) return ERROR_INVALID_HANDLE;
  WideText path = parent->path;
  if (!subKey.empty()) path += u"\\" + subKey;
  while (path.size() > 1 && path.back() == u'\\') path.pop_back();
  Registry::Key* key = Reg().FindKey(path);
  if (key == nullptr) {
    if (!create) return ERROR_FILE_NOT_FOUND;
    key = &Reg().MakeKey(path);
  }
  REGSAM specific = samDesired & ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
  if (key->denied & specific) return ERROR_ACCESS_DENIED;
  auto open = std::make_shared<Registry::OpenKey>();
  open->path = path;
  open->access = specific;
  *phkResult =
      static_cast<HKEY>(Machine::Current().AddHandle(winsim::HandleKind::RegistryKey, open));
  return ERROR_SUCCESS;
}

Registry::Value* FindValue(const Registry::OpenKey& open, const WideText& name) {
  Registry::Key* key = Reg().FindKey(open.path);
  if (key == nullptr) return nullptr;
  auto found = key->values.find(winsim::FoldCase(name));
  return found == key->values.end() ? nullptr : &found->second;
}

LSTATUS SetValue(HKEY hKey, const WideText& name, DWORD type, const BYTE* data, DWORD size) {
  auto open = Resolve(hKey);
  if (!open) return ERROR_INVALID_HANDLE;
  if (!(open->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  Registry::Key* key = Reg().FindKey(open->path);
  if (key == nullptr) return ERROR_KEY_DELETED;
  Registry::Value& value = key->values[winsim::FoldCase(name)];
  value.name = name;
  value.type = type;
  value.data.assign(data, data + (data == nullptr ? 0 : size));
  return ERROR_SUCCESS;
}

LSTATUS DeleteValue(HKEY hKey, const WideText& name) {
  auto open = Resolve(hKey);
  if (!open) return ERROR_INVALID_HANDLE;
  if (!(open->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  Registry::Key* key = Reg().FindKey(open->path);
  if (key == nullptr || key->values.erase(winsim::FoldCase(name)) == 0) return ERROR_FILE_NOT_FOUND;
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  return OpenKey(hKey, Narrow(lpSubKey), samDesired, phkResult, false);
}

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  return OpenKey(hKey, winsim::FromPtr(lpSubKey), samDesired, phkResult, false);
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                               void*, PHKEY phkResult, LPDWORD lpdwDisposition) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  auto parent = Resolve(hKey);
  bool existed = parent && Reg().FindKey(parent->path + u"\\" + winsim::FromPtr(lpSubKey));
  LSTATUS status = OpenKey(hKey, winsim::FromPtr(lpSubKey), samDesired, phkResult, true);
  if (status == ERROR_SUCCESS && lpdwDisposition != nullptr) {
    *lpdwDisposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  }
  return status;
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  auto open = Resolve(hKey);
  if (!open) return ERROR_INVALID_HANDLE;
  if (!(open->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  if (lpData != nullptr && Reg().beforeNextDataRead) {
    auto hook = std::move(Reg().beforeNextDataRead);
    Reg().beforeNextDataRead = nullptr;
    hook();
  }
  Registry::Value* value = FindValue(*open, winsim::FromPtr(lpValueName));
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (lpType != nullptr) *lpType = value->type;
  DWORD size = static_cast<DWORD>(value->data.size());
  if (lpcbData == nullptr) return ERROR_SUCCESS;
  if (lpData == nullptr) {
    *lpcbData = size;
    return ERROR_SUCCESS;
  }
  if (*lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (size != 0) memcpy(lpData, value->data.data(), size);
  *lpcbData = size;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  // A string whose count leaves out a terminator that follows it in memory is stored with the
  // terminator, as the platform does for callers that forgot to count it.
  bool isString = dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ;
  if (isString && lpData != nullptr && cbData >= sizeof(WCHAR) && cbData % sizeof(WCHAR) == 0) {
    const WCHAR* units = reinterpret_cast<const WCHAR*>(lpData);
    DWORD count = cbData / sizeof(WCHAR);
    if (units[count - 1] != 0 && units[count] == 0) cbData += sizeof(WCHAR);
  }
  return SetValue(hKey, winsim::FromPtr(lpValueName), dwType, lpData, cbData);
}

namespace {
bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}
}  // namespace

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  if (!IsStringType(dwType) || lpData == nullptr) {
    return SetValue(hKey, Narrow(lpValueName), dwType, lpData, cbData);
  }
  // The ANSI code page of the simulation maps each byte onto the unit of the same number.
  std::vector<BYTE> wide;
  for (DWORD i = 0; i < cbData; ++i) {
    wide.push_back(lpData[i]);
    wide.push_back(0);
  }
  return SetValue(hKey, Narrow(lpValueName), dwType, wide.data(), static_cast<DWORD>(wide.size()));
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  auto open = Resolve(hKey);
  if (!open) return ERROR_INVALID_HANDLE;
  if (!(open->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  Registry::Value* value = FindValue(*open, Narrow(lpValueName));
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  std::vector<BYTE> data = value->data;
  if (IsStringType(value->type)) {
    // Units outside the code page come out as '?'.
    data.clear();
    for (size_t i = 0; i + 1 < value->data.size(); i += 2) {
      unsigned unit = value->data[i] | (value->data[i + 1] << 8);
      data.push_back(unit <= 0xFF ? static_cast<BYTE>(unit) : static_cast<BYTE>('?'));
    }
  }
  if (lpType != nullptr) *lpType = value->type;
  DWORD size = static_cast<DWORD>(data.size());
  if (lpcbData == nullptr) return ERROR_SUCCESS;
  if (lpData != nullptr && *lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (lpData != nullptr && size != 0) memcpy(lpData, data.data(), size);
  *lpcbData = size;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                             LPWSTR, LPDWORD, PFILETIME) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  auto open = Resolve(hKey);
  if (!open) return ERROR_INVALID_HANDLE;
  if (!(open->access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  if (lpName == nullptr || lpcchName == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<const Registry::Key*> below = Reg().SubKeys(open->path);
  if (dwIndex >= below.size()) return ERROR_NO_MORE_ITEMS;
  const WideText& name = below[dwIndex]->name;
  if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
  memcpy(lpName, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  *lpcchName = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  auto open = Resolve(hKey);
  if (!open) return ERROR_INVALID_HANDLE;
  if (!(open->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpClass != nullptr || lpcchClass != nullptr || lpcbMaxSubKeyLen != nullptr ||
      lpcbMaxClassLen != nullptr || lpcbMaxValueNameLen != nullptr || lpcbMaxValueLen != nullptr ||
      lpcbSecurityDescriptor != nullptr || lpftLastWriteTime != nullptr) {
    return ERROR_INVALID_PARAMETER;  // not modelled
  }
  const Registry::Key* key = Reg().FindKey(open->path);
  if (key == nullptr) return ERROR_KEY_DELETED;
  if (lpcSubKeys != nullptr) *lpcSubKeys = static_cast<DWORD>(Reg().SubKeys(open->path).size());
  if (lpcValues != nullptr) *lpcValues = static_cast<DWORD>(key->values.size());
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  auto open = Resolve(hKey);
  if (!open) return ERROR_INVALID_HANDLE;
  WideText path = open->path;
  if (lpSubKey != nullptr && *lpSubKey != 0) path += u"\\" + winsim::FromPtr(lpSubKey);
  Registry::Key* key = Reg().FindKey(path);
  if (key == nullptr) return ERROR_FILE_NOT_FOUND;
  if (key->denied & DELETE) return ERROR_ACCESS_DENIED;
  if (lpSubKey == nullptr || *lpSubKey == 0) {
    // Without a subkey the key itself stays, emptied of its values and keys.
    key->values.clear();
    for (const Registry::Key* below : Reg().SubKeys(path)) {
      Reg().DeleteTree(path + u"\\" + below->name);
    }
    return ERROR_SUCCESS;
  }
  Reg().DeleteTree(path);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegFlushKey(HKEY hKey) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  if (!Resolve(hKey)) return ERROR_INVALID_HANDLE;
  ++Reg().flushes;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  return DeleteValue(hKey, Narrow(lpValueName));
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  return DeleteValue(hKey, winsim::FromPtr(lpValueName));
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  if (IsRoot(hKey)) return ERROR_SUCCESS;
  if (!Machine::Current().RemoveHandle(hKey, winsim::HandleKind::RegistryKey)) {
    return ERROR_INVALID_HANDLE;
  }
  return ERROR_SUCCESS;
}
