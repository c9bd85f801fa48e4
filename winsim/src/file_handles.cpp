// The simulated calls that act on a file or folder through an open handle rather than by
// name: the path it really reaches, renaming it, and reading its owner and access list.
#include <windows.h>

#include <string.h>

#include "security_internal.h"
#include "winsim/security.h"
#include "winsim/files.h"
#include "winsim/machine.h"

using winsim::FileSystem;
using winsim::Machine;
using winsim::WideText;

namespace {

// The open file or folder behind a handle, or null.
FileSystem::Node* NodeOf(HANDLE handle, std::shared_ptr<FileSystem::OpenFile>* open) {
  *open = Machine::Current().LookupHandle<FileSystem::OpenFile>(handle, winsim::HandleKind::File);
  return *open ? Machine::Current().files().Find((*open)->key) : nullptr;
}

}  // namespace

DWORD WINAPI GetFinalPathNameByHandleW(HANDLE hFile, LPWSTR lpszFilePath, DWORD cchFilePath,
                                       DWORD dwFlags) {
  WINSIM_ENTER_OR_FAIL(0);
  std::shared_ptr<FileSystem::OpenFile> open;
  const FileSystem::Node* node = NodeOf(hFile, &open);
  if (node == nullptr || dwFlags != (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)) {
    SetLastError(node == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return 0;
  }
  WideText path = u"\\\\?\\" + node->path;
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  while (path.size() > 7 && path.back() == u'\\') path.pop_back();
  winsim::PoisonLastError();
  // Too small a buffer: the size needed, terminator included, and nothing copied.
  if (lpszFilePath == nullptr || cchFilePath < path.size() + 1) {
    return static_cast<DWORD>(path.size() + 1);
  }
  memcpy(lpszFilePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
  return static_cast<DWORD>(path.size());
}

BOOL WINAPI SetFileInformationByHandle(HANDLE hFile, FILE_INFO_BY_HANDLE_CLASS FileInformationClass,
                                       LPVOID lpFileInformation, DWORD dwBufferSize) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  std::shared_ptr<FileSystem::OpenFile> open;
  FileSystem::Node* node = NodeOf(hFile, &open);
  if (node == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const auto* rename = static_cast<const FILE_RENAME_INFO*>(lpFileInformation);
  if (FileInformationClass != FileRenameInfo || rename == nullptr ||
      dwBufferSize < sizeof(FILE_RENAME_INFO) || rename->RootDirectory != nullptr ||
      rename->FileNameLength % sizeof(WCHAR) != 0 ||
      offsetof(FILE_RENAME_INFO, FileName) + rename->FileNameLength > dwBufferSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if ((open->desired & (DELETE | GENERIC_ALL)) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  WideText target(reinterpret_cast<const char16_t*>(rename->FileName),
                  rename->FileNameLength / sizeof(WCHAR));
  DWORD error = Machine::Current().files().MoveNow(
      node->path, target, rename->ReplaceIfExists ? MOVEFILE_REPLACE_EXISTING : 0);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  winsim::PoisonLastError();
  return TRUE;
}

DWORD WINAPI GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE ObjectType,
                             SECURITY_INFORMATION SecurityInfo, PSID* ppsidOwner, PSID* ppsidGroup,
                             PACL* ppDacl, PACL* ppSacl,
                             PSECURITY_DESCRIPTOR* ppSecurityDescriptor) {
  if (DWORD injected = winsim::EnterCall(__func__)) return injected;
  if (ObjectType == SE_KERNEL_OBJECT) {
    return winsim::KernelObjectSecurityInfo(handle, ObjectType, SecurityInfo, ppsidOwner,
                                            ppsidGroup, ppDacl, ppSacl, ppSecurityDescriptor);
  }
  std::shared_ptr<FileSystem::OpenFile> open;
  const FileSystem::Node* node = NodeOf(handle, &open);
  if (node == nullptr) return ERROR_INVALID_HANDLE;
  bool wantsOwner = (SecurityInfo & OWNER_SECURITY_INFORMATION) != 0;
  bool wantsAccess = (SecurityInfo & DACL_SECURITY_INFORMATION) != 0;
  if (ObjectType != SE_FILE_OBJECT || ppSecurityDescriptor == nullptr || ppsidGroup != nullptr ||
      ppSacl != nullptr ||
      (SecurityInfo & ~(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)) != 0) {
    return ERROR_INVALID_PARAMETER;  // only what the program reads is simulated
  }
  if ((open->desired & (READ_CONTROL | GENERIC_READ | GENERIC_ALL)) == 0) {
    return ERROR_ACCESS_DENIED;
  }
  void* block =
      winsim::MakeDescriptor(wantsOwner ? &node->owner : nullptr,
                             wantsAccess ? &node->access : nullptr, node->accessProtected);
  SECURITY_DESCRIPTOR_RELATIVE header;
  memcpy(&header, block, sizeof(header));
  BYTE* bytes = static_cast<BYTE*>(block);
  if (ppsidOwner != nullptr) *ppsidOwner = wantsOwner ? bytes + header.Owner : nullptr;
  if (ppDacl != nullptr)
    *ppDacl = wantsAccess ? reinterpret_cast<PACL>(bytes + header.Dacl) : nullptr;
  *ppSecurityDescriptor = block;
  return ERROR_SUCCESS;
}
