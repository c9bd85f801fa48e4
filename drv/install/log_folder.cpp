#include "log_folder.h"

#include <aclapi.h>
#include <sddl.h>

namespace {

constexpr const WCHAR* kProgramFolder = L"vexaWriter-logs";
// The system account and Administrators, full control of the folder and what is made in it;
// "P" keeps the parent's entries out.
constexpr const WCHAR* kProgramFolderAccess = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// Rights that let an account put, replace or remove something in a folder, change a file, or
// hand itself any of these.
constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
                               WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

using TempPathFunction = DWORD(WINAPI*)(DWORD, LPWSTR);

TempPathFunction FindGetTempPath2() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return nullptr;
  FARPROC address = GetProcAddress(kernel, "GetTempPath2W");
  return reinterpret_cast<TempPathFunction>(reinterpret_cast<void (*)(void)>(address));
}

bool FromTempPath(TempPathFunction getTempPath, WString& path) {
  WCHAR folder[MAX_PATH + 1];
  DWORD length = getTempPath(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return false;
  path.Assign(folder);
  return path.Length() == length;
}

void EndWithBackslash(WString& path) {
  if (path.Length() != 0 && path.Text()[path.Length() - 1] != L'\\') path.Append(L"\\");
}

// The program's own folder under the common application data folder, made with its own access
// list when it is missing. A folder that exists already is left as it is, for the checks.
bool MakeProgramFolder(WString& path) {
  WCHAR data[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"ProgramData", data, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  path.Assign(data);
  EndWithBackslash(path);
  path.Append(kProgramFolder);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kProgramFolderAccess, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return false;
  }
  UniqueLocalBlock owned(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  CreateDirectoryW(path.Text(), &attributes);
  return true;
}

// The path without the "\\?\" that GetFinalPathNameByHandleW puts before a drive letter.
const WCHAR* WithoutLongPrefix(const WCHAR* path) {
  if (path[0] == L'\\' && path[1] == L'\\' && path[2] == L'?' && path[3] == L'\\') return path + 4;
  return path;
}

}  // namespace

bool LogFolder::Open() {
  WString path;
  if (!ReadAccount() || !FindPath(path)) return false;
  // The long form, as the handle's final path gives it (a temporary folder may be given in
  // short names).
  WCHAR full[MAX_PATH + 1];
  DWORD length = GetLongPathNameW(path.Text(), full, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return false;
  path_.Assign(full);
  EndWithBackslash(path_);
  folder_.reset(CreateFileW(path_.Text(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!folder_ || !GetFileInformationByHandle(folder_.get(), &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      !Reaches(folder_.get(), path_) || !OwnedAndWritableByTrustedOnly(folder_.get())) {
    folder_.reset();
    return false;
  }
  return true;
}

UniqueFile LogFolder::OpenForAppending(const WCHAR* name, uint64_t& size) const {
  WString path = path_.Copy();
  path.Append(name);
  // Shared in every way, so that a viewer may keep the file open meanwhile.
  UniqueFile file(CreateFileW(path.Text(), FILE_APPEND_DATA | READ_CONTROL | FILE_READ_ATTRIBUTES,
                              kShareAll, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!folder_ || !file || !GetFileInformationByHandle(file.get(), &information) ||
      information.nNumberOfLinks != 1 ||
      (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) !=
          0 ||
      !Reaches(file.get(), path) || !OwnedAndWritableByTrustedOnly(file.get())) {
    return UniqueFile();
  }
  size = static_cast<uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
  return file;
}

bool LogFolder::RenameByHandle(HANDLE file, const WCHAR* newName) const {
  WString target = path_.Copy();
  target.Append(newName);
  union {
    FILE_RENAME_INFO info;
    BYTE bytes[sizeof(FILE_RENAME_INFO) + (MAX_PATH + 1) * sizeof(WCHAR)];
  } rename = {};
  if (target.Length() > MAX_PATH) return false;
  rename.info.ReplaceIfExists = TRUE;
  rename.info.RootDirectory = nullptr;
  rename.info.FileNameLength = static_cast<DWORD>(target.Length() * sizeof(WCHAR));
  lstrcpynW(rename.info.FileName, target.Text(), MAX_PATH + 1);
  // Opened anew from the handle, not by its name, for the delete access a rename needs.
  UniqueFile renaming(ReOpenFile(file, DELETE, kShareAll, 0));
  return renaming &&
         SetFileInformationByHandle(renaming.get(), FileRenameInfo, &rename.info, sizeof(rename));
}

bool LogFolder::ReadAccount() {
  UniqueKernelHandle token;
  DWORD size = 0;
  return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
         GetTokenInformation(token.get(), TokenUser, &account_, sizeof(account_), &size);
}

bool LogFolder::FindPath(WString& path) const {
  if (!IsWellKnownSid(account_.user.User.Sid, WinLocalSystemSid)) {
    return FromTempPath(GetTempPathW, path);
  }
  if (TempPathFunction getTempPath2 = FindGetTempPath2()) return FromTempPath(getTempPath2, path);
  return MakeProgramFolder(path);
}

bool LogFolder::Trusted(PSID sid) const {
  return IsWellKnownSid(sid, WinLocalSystemSid) ||
         IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || EqualSid(sid, account_.user.User.Sid);
}

bool LogFolder::Reaches(HANDLE object, const WString& path) const {
  WCHAR final[MAX_PATH + 8];
  DWORD length = GetFinalPathNameByHandleW(object, final, MAX_PATH + 8,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= MAX_PATH + 8) return false;
  WString meant = path.Copy();
  if (meant.Length() > 3 && meant.Text()[meant.Length() - 1] == L'\\') {
    meant.Resize(meant.Length() - 1);
  }
  return lstrcmpiW(WithoutLongPrefix(final), meant.Text()) == 0;
}

bool LogFolder::OwnedAndWritableByTrustedOnly(HANDLE object) const {
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
  if (owner == nullptr || !Trusted(owner) || access == nullptr) return false;
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
    if ((allowed->Mask & kWriteRights) != 0 && !Trusted(const_cast<DWORD*>(&allowed->SidStart))) {
      return false;
    }
  }
  return true;
}
