#include "log_folder.h"

#include "foundation/trusted_path.h"

#include <aclapi.h>

#include "foundation/object_security.h"
#include "foundation/system_library.h"

namespace {

constexpr const WCHAR* kProgramFolder = L"vexaWriter-logs";
// The system account and Administrators, full control of the folder and what is made in it;
// "P" keeps the parent's entries out.
constexpr const WCHAR* kProgramFolderAccess = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Where a run records the folder it made itself when the program's folder was taken: under
// HKLM, which only administrators and the system account can write.
constexpr const WCHAR* kRecordKey = L"Software\\Morvane Software KFT\\vexaWriter";
constexpr const WCHAR* kRecordValue = L"LogFolder";
constexpr DWORD kSystemPreferredRng = 0x00000002;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG
constexpr int kRandomBytes = 16;
// Opens that wait for no one: one that would have to break another's opportunistic lock fails
// with ERROR_CANNOT_BREAK_OPLOCK. FILE_FLAG_OPEN_REQUIRING_OPLOCK, which the headers give only
// for a newer target than the program's.
constexpr DWORD kNoOplockWait = 0x00040000;

using RandomFunction = LONG(WINAPI*)(void*, BYTE*, DWORD, DWORD);

bool FromTempPath(WString& path) {
  WCHAR folder[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return false;
  path.Assign(folder);
  return path.Length() == length;
}

void EndWithBackslash(WString& path) {
  if (path.Length() != 0 && path.Text()[path.Length() - 1] != L'\\') path.Append(L"\\");
}

// The common application data folder, with a trailing backslash.
bool ProgramDataPath(WString& path) {
  WCHAR data[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"ProgramData", data, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  path.Assign(data);
  EndWithBackslash(path);
  return true;
}

// Makes a folder with the program's access list; false when it could not be made, also when it
// exists already.
bool MakeProtectedFolder(const WString& path) {
  ObjectSecurity security(kProgramFolderAccess);
  return security.attributes() != nullptr &&
         CreateDirectoryW(path.Text(), security.attributes()) != FALSE;
}

// A folder name under the common application data folder that no one can guess beforehand.
bool NewFolderName(const WString& data, WString& path) {
  UniqueLibrary bcrypt(LoadSystemLibrary(L"bcrypt.dll"));
  FARPROC address = bcrypt ? GetProcAddress(bcrypt.get(), "BCryptGenRandom") : nullptr;
  auto random = reinterpret_cast<RandomFunction>(reinterpret_cast<void (*)(void)>(address));
  BYTE bytes[kRandomBytes];
  if (random == nullptr || random(nullptr, bytes, kRandomBytes, kSystemPreferredRng) != 0) {
    return false;
  }
  WCHAR name[kRandomBytes * 2 + 1];
  for (int i = 0; i < kRandomBytes; ++i) {
    name[2 * i] = L"0123456789abcdef"[bytes[i] >> 4];
    name[2 * i + 1] = L"0123456789abcdef"[bytes[i] & 15];
  }
  name[kRandomBytes * 2] = 0;
  path = data.Copy();
  path.Append(kProgramFolder);
  path.Append(L"-");
  path.Append(name);
  return true;
}

bool ReadRecordedFolder(WString& path) {
  UniqueRegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, KEY_QUERY_VALUE, key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  WCHAR text[MAX_PATH + 1] = {};
  DWORD type = 0;
  DWORD bytes = sizeof(text) - sizeof(WCHAR);  // room for a terminator the value may lack
  if (RegQueryValueExW(key.get(), kRecordValue, nullptr, &type, reinterpret_cast<BYTE*>(text),
                       &bytes) != ERROR_SUCCESS ||
      type != REG_SZ || text[0] == 0) {
    return false;
  }
  path.Assign(text);
  return true;
}

void RecordFolder(const WString& path) {
  UniqueRegistryKey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  DWORD bytes = static_cast<DWORD>((path.Length() + 1) * sizeof(WCHAR));
  RegSetValueExW(key.get(), kRecordValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.Text()),
                 bytes);
}

}  // namespace

bool LogFolder::Open() {
  if (!ReadAccount()) return false;
  WString path;
  if (!IsWellKnownSid(account_.user.User.Sid, WinLocalSystemSid)) {
    return FromTempPath(path) && OpenChecked(path);
  }
  WString data;
  if (!ProgramDataPath(data)) return false;
  path = data.Copy();
  path.Append(kProgramFolder);
  MakeProtectedFolder(path);  // one there already is left as it is, for the checks
  if (OpenChecked(path)) return true;
  // Someone else made the program's folder first: the folder an earlier run made in its place,
  // or a new one under a name no one could have taken beforehand.
  if (ReadRecordedFolder(path) && OpenChecked(path)) return true;
  if (!NewFolderName(data, path) || !MakeProtectedFolder(path) || !OpenChecked(path)) return false;
  RecordFolder(path);
  return true;
}

bool LogFolder::OpenChecked(const WString& path) {
  // The long form, as the handle's final path gives it (a temporary folder may be given in
  // short names).
  WCHAR full[MAX_PATH + 1];
  DWORD length = GetLongPathNameW(path.Text(), full, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return false;
  path_.Assign(full);
  EndWithBackslash(path_);
  folder_.reset(CreateFileW(
      path_.Text(), READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT | kNoOplockWait, nullptr));
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
  // Shared in every way, so that a viewer may keep the file open meanwhile. Asked with the
  // right to rename it, so that no second open is needed for that, and without it when a viewer
  // shares no deletion.
  constexpr DWORD kAccess = FILE_APPEND_DATA | READ_CONTROL | FILE_READ_ATTRIBUTES;
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | kNoOplockWait;
  UniqueFile file(
      CreateFileW(path.Text(), kAccess | DELETE, kShareAll, nullptr, OPEN_ALWAYS, kFlags, nullptr));
  if (!file && GetLastError() == ERROR_SHARING_VIOLATION) {
    file.reset(CreateFileW(path.Text(), kAccess, kShareAll, nullptr, OPEN_ALWAYS, kFlags, nullptr));
  }
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
  // Through the handle the file was opened with: a second open could wait on another's lock.
  return SetFileInformationByHandle(file, FileRenameInfo, &rename.info, sizeof(rename)) != FALSE;
}

bool LogFolder::ReadAccount() {
  UniqueKernelHandle token;
  DWORD size = 0;
  return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
         GetTokenInformation(token.get(), TokenUser, &account_, sizeof(account_), &size);
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
