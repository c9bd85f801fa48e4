#include "trusted_path.h"

#include <aclapi.h>

namespace {

// Rights that let an account put, replace or remove something in a folder, change a file, or
// hand itself any of these.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
                                WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
constexpr int kFinalPathUnits = MAX_PATH + 8;

// "NT SERVICE\TrustedInstaller", which owns the system's own folders; no well-known type names it.
struct {
  BYTE revision;
  BYTE parts;
  BYTE authority[6];
  DWORD subAuthority[6];
} const kTrustedInstaller = {
    1, 6, {0, 0, 0, 0, 0, 5}, {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}};

// The path without the "\\?\" that GetFinalPathNameByHandleW puts before a drive letter, and with
// "\\?\UNC\" back to the "\\" of a share.
const WCHAR* WithoutLongPrefix(const WCHAR* path, bool* share) {
  *share = false;
  if (path[0] != L'\\' || path[1] != L'\\' || path[2] != L'?' || path[3] != L'\\') return path;
  if (path[4] == L'U' && path[5] == L'N' && path[6] == L'C' && path[7] == L'\\') {
    *share = true;
    return path + 8;
  }
  return path + 4;
}

}  // namespace

bool RunningAccount::Read() {
  UniqueKernelHandle token;
  DWORD size = 0;
  return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
         GetTokenInformation(token.get(), TokenUser, &token_, sizeof(token_), &size);
}

bool TrustedAccount(PSID sid, PSID running) {
  return IsWellKnownSid(sid, WinLocalSystemSid) ||
         IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
         EqualSid(sid, const_cast<void*>(static_cast<const void*>(&kTrustedInstaller))) ||
         EqualSid(sid, running);
}

bool HandleReachesPath(HANDLE object, const WCHAR* path) {
  WCHAR final[kFinalPathUnits];
  DWORD length = GetFinalPathNameByHandleW(object, final, kFinalPathUnits,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= kFinalPathUnits) return false;
  bool finalShare = false;
  bool meantShare = false;
  const WCHAR* reached = WithoutLongPrefix(final, &finalShare);
  const WCHAR* meant = WithoutLongPrefix(path, &meantShare);
  if (meantShare || (meant[0] == L'\\' && meant[1] == L'\\')) {
    if (!finalShare) return false;
    if (!meantShare) meant += 2;
  } else if (finalShare) {
    return false;
  }
  WCHAR trimmed[kFinalPathUnits];
  if (lstrlenW(meant) >= kFinalPathUnits) return false;
  lstrcpyW(trimmed, meant);
  int end = lstrlenW(trimmed);
  if (end > 3 && trimmed[end - 1] == L'\\') trimmed[end - 1] = 0;
  return lstrcmpiW(reached, trimmed) == 0;
}

bool OnlyTrustedCanChange(HANDLE object, PSID running) {
  PSID owner = nullptr;
  PACL access = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &access, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  UniqueLocalBlock owned(descriptor);
  // No access list at all lets everyone in.
  if (owner == nullptr || !TrustedAccount(owner, running) || access == nullptr) return false;
  for (DWORD i = 0; i < access->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(access, i, &entry)) return false;
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
    // Entries only for what is made inside, and denials, give no one this object.
    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0 || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      continue;
    }
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;  // kinds not read here
    const ACCESS_ALLOWED_ACE* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if ((allowed->Mask & kChangeRights) != 0 &&
        !TrustedAccount(const_cast<DWORD*>(&allowed->SidStart), running)) {
      return false;
    }
  }
  return true;
}

UniqueFile OpenTrusted(const WCHAR* path, bool folder, PSID running, bool* refused) {
  *refused = false;
  DWORD access = folder ? FILE_READ_ATTRIBUTES | READ_CONTROL : GENERIC_READ;
  DWORD share = folder ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
  DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | (folder ? FILE_FLAG_BACKUP_SEMANTICS : 0);
  UniqueFile object(CreateFileW(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr));
  if (!object) return object;
  BY_HANDLE_FILE_INFORMATION information;
  bool trusted = GetFileInformationByHandle(object.get(), &information) &&
                 ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder &&
                 (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                 HandleReachesPath(object.get(), path) &&
                 OnlyTrustedCanChange(object.get(), running);
  if (trusted) return object;
  *refused = true;
  return UniqueFile();
}
