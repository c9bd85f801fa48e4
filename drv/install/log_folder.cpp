#include "log_folder.h"

#include "foundation/trusted_path.h"

#include <aclapi.h>
#include <sddl.h>

namespace {

constexpr const WCHAR* kProgramFolder = L"vexaWriter-logs";
// The system account and Administrators, full control of the folder and what is made in it;
// "P" keeps the parent's entries out.
constexpr const WCHAR* kProgramFolderAccess = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
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
  return TrustedAccount(sid, account_.user.User.Sid);
}

bool LogFolder::Reaches(HANDLE object, const WString& path) const {
  return HandleReachesPath(object, path.Text());
}

bool LogFolder::OwnedAndWritableByTrustedOnly(HANDLE object) const {
  return OnlyTrustedCanChange(object, account_.user.User.Sid);
}
