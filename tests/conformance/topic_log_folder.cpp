// The log file's folder: the account the probe runs as, the temporary folder and its long
// form, the path an open handle reaches, owners and access lists as the checks read them, a
// folder made with a protected access list, and renaming a file by its handle.
#include <aclapi.h>
#include <sddl.h>

#include "probe.h"

namespace {

union Account {
  TOKEN_USER user;
  BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

bool ReadAccount(Account& account) {
  HANDLE token = nullptr;
  DWORD size = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  BOOL read = GetTokenInformation(token, TokenUser, &account, sizeof(account), &size);
  CloseHandle(token);
  return read != FALSE;
}

bool Trusted(const Account& account, PSID sid) {
  return IsWellKnownSid(sid, WinLocalSystemSid) ||
         IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || EqualSid(sid, account.user.User.Sid);
}

// "owner trusted, others write no" as the log folder's checks would judge the object.
void ObserveSecurity(const char* key, const Account& account, HANDLE object) {
  PSID owner = nullptr;
  PACL access = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD status = GetSecurityInfo(object, SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                 nullptr, &access, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) {
    ObserveStatus(key, status);
    return;
  }
  const DWORD writeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
                            WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
  bool othersWrite = access == nullptr;
  for (DWORD i = 0; access != nullptr && i < access->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(access, i, &entry)) continue;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        (allowed->Header.AceFlags & INHERIT_ONLY_ACE) == 0 && (allowed->Mask & writeRights) != 0 &&
        !Trusted(account, const_cast<DWORD*>(&allowed->SidStart))) {
      othersWrite = true;
    }
  }
  Observe(key, "owner trusted %s, others write %s", Trusted(account, owner) ? "yes" : "no",
          othersWrite ? "yes" : "no");
  LocalFree(descriptor);
}

// Whether the handle's final path is the path given (without a trailing backslash).
void ObserveReaches(const char* key, HANDLE object, const WCHAR* path) {
  WCHAR final[MAX_PATH + 8];
  DWORD length = GetFinalPathNameByHandleW(object, final, MAX_PATH + 8, 0);
  if (length == 0) {
    ObserveCall(key, FALSE);
    return;
  }
  WCHAR meant[MAX_PATH + 8] = L"\\\\?\\";
  lstrcatW(meant, path);
  int end = lstrlenW(meant);
  if (end > 7 && meant[end - 1] == L'\\') meant[end - 1] = 0;
  Observe(key, "%s, length %s", lstrcmpiW(final, meant) == 0 ? "same" : Narrow(final),
          length == static_cast<DWORD>(lstrlenW(final)) ? "without terminator" : "other");
}

void ObserveInformation(const char* key, HANDLE object) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(object, &information)) {
    ObserveCall(key, FALSE);
    return;
  }
  Observe(key, "directory %s, reparse %s, links %lu",
          (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "yes" : "no",
          (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? "yes" : "no",
          Number(information.nNumberOfLinks));
}

HANDLE OpenFolder(const WCHAR* path) {
  return CreateFileW(path, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool RenameTo(HANDLE file, const WCHAR* path, BOOL replace) {
  union {
    FILE_RENAME_INFO info;
    BYTE bytes[sizeof(FILE_RENAME_INFO) + MAX_PATH * sizeof(WCHAR)];
  } rename = {};
  rename.info.ReplaceIfExists = replace;
  rename.info.FileNameLength = static_cast<DWORD>(lstrlenW(path) * sizeof(WCHAR));
  lstrcpyW(rename.info.FileName, path);
  return SetFileInformationByHandle(file, FileRenameInfo, &rename.info, sizeof(rename)) != FALSE;
}

}  // namespace

void ProbeLogFolder() {
  Account account;
  ObserveCall("logdir.token_user", ReadAccount(account));
  Observe("logdir.token_user_system", "%s",
          IsWellKnownSid(account.user.User.Sid, WinLocalSystemSid) ? "yes" : "no");
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  Observe("logdir.get_temp_path2", "%s",
          kernel != nullptr && GetProcAddress(kernel, "GetTempPath2W") != nullptr ? "present"
                                                                                  : "missing");
  WCHAR data[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"ProgramData", data, MAX_PATH);
  Observe("logdir.program_data", "%s", length != 0 ? Narrow(data) : "missing");

  WCHAR temp[MAX_PATH + 1];
  WCHAR full[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  length = GetLongPathNameW(temp, full, MAX_PATH + 1);
  Observe("logdir.temp_long_form", "%s",
          length == 0                  ? "fail"
          : lstrcmpiW(full, temp) == 0 ? "as given"
                                       : "other");
  HANDLE folder = OpenFolder(temp);
  ObserveCall("logdir.temp_open", folder != INVALID_HANDLE_VALUE);
  if (folder != INVALID_HANDLE_VALUE) {
    ObserveInformation("logdir.temp_information", folder);
    ObserveReaches("logdir.temp_final_path", folder, temp);
    ObserveSecurity("logdir.temp_security", account, folder);
    CloseHandle(folder);
  }

  // A folder made with a protected list for the system account and Administrators.
  const WCHAR* made = PROBE_DIR L"\\logs";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ObserveCall("logdir.descriptor_text",
              ConvertStringSecurityDescriptorToSecurityDescriptorW(
                  L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr));
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  ObserveCall("logdir.make", CreateDirectoryW(made, &attributes));
  ObserveCall("logdir.make_again", CreateDirectoryW(made, &attributes));
  LocalFree(descriptor);
  ObserveCall("logdir.make_missing_parent", CreateDirectoryW(PROBE_DIR L"\\no\\logs", nullptr));
  folder = OpenFolder(made);
  ObserveCall("logdir.made_open", folder != INVALID_HANDLE_VALUE);
  if (folder == INVALID_HANDLE_VALUE) return;
  ObserveSecurity("logdir.made_security", account, folder);
  HANDLE plain =
      CreateFileW(made, READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ObserveCall("logdir.folder_without_backup_semantics", plain != INVALID_HANDLE_VALUE);
  if (plain != INVALID_HANDLE_VALUE) CloseHandle(plain);

  // The log file: made inside, checked, reopened for deleting, and renamed by its handle.
  const WCHAR* log = PROBE_DIR L"\\logs\\a.log";
  const WCHAR* old = PROBE_DIR L"\\logs\\a.old.log";
  const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE file = CreateFileW(log, FILE_APPEND_DATA | READ_CONTROL | FILE_READ_ATTRIBUTES, shareAll,
                            nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  ObserveCall("logdir.file_open", file != INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) {
    ObserveInformation("logdir.file_information", file);
    ObserveReaches("logdir.file_final_path", file, log);
    ObserveSecurity("logdir.file_security", account, file);
    ObserveCall("logdir.rename_without_delete_access", RenameTo(file, old, TRUE));
    HANDLE renaming = ReOpenFile(file, DELETE, shareAll, 0);
    ObserveCall("logdir.reopen_for_delete", renaming != INVALID_HANDLE_VALUE);
    if (renaming != INVALID_HANDLE_VALUE) {
      ObserveCall("logdir.rename_by_handle", RenameTo(renaming, old, TRUE));
      ObserveReaches("logdir.renamed_final_path", file, old);
      CloseHandle(renaming);
    }
    CloseHandle(file);
  }
  Observe("logdir.names_after_rename", "old %s, log %s", FileThere(old) ? "there" : "missing",
          FileThere(log) ? "there" : "missing");
  // As the run opens it now: asking to fail rather than wait on a lock, with the right to rename
  // it through the same handle; a disk file as the caller's standard output would be.
  file = CreateFileW(log, FILE_APPEND_DATA | DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES, shareAll,
                     nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT | 0x00040000, nullptr);
  ObserveCall("logdir.file_open_without_waiting", file != INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) {
    Observe("logdir.file_type", "%lu", Number(GetFileType(file)));
    ObserveCall("logdir.rename_by_open_handle", RenameTo(file, old, TRUE));
    CloseHandle(file);
  }
  DeleteFileW(old);
  DeleteFileW(log);
  CloseHandle(folder);
}
