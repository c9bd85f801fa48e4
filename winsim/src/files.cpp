// The simulated file system and the kernel32 file calls that act on it.
#include "winsim/files.h"

#include <string.h>

#include "security_internal.h"
#include "winsim/processes.h"

using winsim::FileSystem;
using winsim::Machine;
using winsim::WideText;

namespace winsim {

WideText FileSystem::Key(const WideText& path) {
  WideText key = FoldCase(path);
  for (char16_t& c : key) {
    if (c == u'/') c = u'\\';
  }
  while (key.size() > 1 && key.back() == u'\\') key.pop_back();
  return key;
}

FileSystem::Node* FileSystem::Find(const WideText& path) {
  auto found = nodes_.find(Key(path));
  return found == nodes_.end() ? nullptr : &found->second;
}

const FileSystem::Node* FileSystem::Find(const WideText& path) const {
  auto found = nodes_.find(Key(path));
  return found == nodes_.end() ? nullptr : &found->second;
}

bool FileSystem::ParentExists(const WideText& path) const {
  WideText key = Key(path);
  size_t separator = key.rfind(u'\\');
  if (separator == WideText::npos) return true;  // a bare name or a drive
  WideText parent = key.substr(0, separator);
  if (parent.find(u'\\') == WideText::npos) return true;  // drive roots always exist
  const Node* node = Find(parent);
  return node != nullptr && node->directory;
}

FileSystem::Node& FileSystem::Create(const WideText& path, bool directory) {
  Node& node = nodes_[Key(path)];
  node.path = path;
  node.directory = directory;
  return node;
}

FileSystem::Node& FileSystem::CreateAsProgram(const WideText& path, bool directory) {
  WideText key = Key(path);
  size_t separator = key.rfind(u'\\');
  const Node* parent = separator == WideText::npos ? nullptr : Find(key.substr(0, separator));
  std::vector<AccessEntry> inherited;
  if (parent != nullptr) {
    // What the folder's list passes on: to a folder the entries for folders (and, for what it
    // will hold, the ones for files), to a file the entries for files.
    for (AccessEntry entry : parent->access) {
      bool forFiles = (entry.flags & OBJECT_INHERIT_ACE) != 0;
      bool forFolders = (entry.flags & CONTAINER_INHERIT_ACE) != 0;
      if (directory && forFolders) {
        entry.flags = static_cast<BYTE>((entry.flags & ~INHERIT_ONLY_ACE) | INHERITED_ACE);
      } else if (directory && forFiles) {
        entry.flags = OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE | INHERITED_ACE;
      } else if (!directory && forFiles) {
        entry.flags = INHERITED_ACE;
      } else {
        continue;
      }
      inherited.push_back(entry);
    }
  }
  Node& node = Create(path, directory);
  node.owner = Machine::Current().processes().token.defaultOwner;
  node.access = inherited;
  return node;
}

void FileSystem::AddLink(const WideText& path, const WideText& target, bool directory) {
  size_t separator = path.find_last_of(u"\\/");
  if (separator != WideText::npos) AddDirectory(path.substr(0, separator));
  Create(path, directory).linkTarget = target;
}

WideText FileSystem::Resolve(const WideText& path, bool followLast) const {
  WideText current = path;
  for (char16_t& c : current) {
    if (c == u'/') c = u'\\';
  }
  for (int hops = 0; hops < 32; ++hops) {
    bool followed = false;
    for (size_t end = current.find(u'\\'); end != WideText::npos && !followed;) {
      size_t next = current.find(u'\\', end + 1);
      size_t stop = next == WideText::npos ? current.size() : next;
      bool last = current.find_first_not_of(u'\\', stop) == WideText::npos;
      const Node* node = stop > end + 1 ? Find(current.substr(0, stop)) : nullptr;
      if (node != nullptr && !node->linkTarget.empty() && (!last || followLast)) {
        current = node->linkTarget + current.substr(stop);
        followed = true;
      }
      end = next;
    }
    if (!followed) return current;
  }
  return WideText();
}

void FileSystem::SetOwner(const WideText& path, const std::string& sid) {
  if (Node* node = Find(path)) node->owner = sid;
}

void FileSystem::AllowWrites(const WideText& path, const std::string& sid, DWORD mask, BYTE flags) {
  if (Node* node = Find(path)) node->access.push_back({sid, mask, flags, ACCESS_ALLOWED_ACE_TYPE});
}

void FileSystem::ReplaceAfterOpens(const WideText& path, const std::string& contents,
                                   unsigned opens) {
  if (Node* node = Find(path)) {
    node->replacement = contents;
    node->opensBeforeReplacement = opens;
  }
}

void FileSystem::ReplaceIfDue(const WideText& path) {
  Node* node = Find(path);
  if (node == nullptr || !node->replacement) return;
  if (node->opensBeforeReplacement != 0) {
    --node->opensBeforeReplacement;
    return;
  }
  Node fresh = *node;
  fresh.data = *node->replacement;
  fresh.replacement.reset();
  fresh.opens.clear();
  // The old file moves out of the way with its handles and goes once they are closed.
  WideText aside = Key(path) + u":replaced";
  Node old = *node;
  old.path = aside;
  old.replacement.reset();
  old.deletePending = true;
  for (const auto& weak : old.opens) {
    if (auto open = weak.lock()) open->key = aside;
  }
  nodes_[aside] = old;
  nodes_[Key(path)] = fresh;
}

void FileSystem::Erase(const WideText& path) {
  nodes_.erase(Key(path));
}

void FileSystem::AddDirectory(const WideText& path) {
  WideText normal = path;
  for (char16_t& c : normal) {
    if (c == u'/') c = u'\\';
  }
  for (size_t i = 0; i <= normal.size(); ++i) {
    if (i == normal.size() || normal[i] == u'\\') {
      WideText prefix = normal.substr(0, i);
      if (prefix.find(u'\\') == WideText::npos) continue;  // the drive itself
      if (Find(prefix) == nullptr) Create(prefix, true);
    }
  }
}

void FileSystem::AddFile(const WideText& path, const std::string& contents) {
  size_t separator = path.find_last_of(u"\\/");
  if (separator != WideText::npos) AddDirectory(path.substr(0, separator));
  Create(path, false).data = contents;
}

void FileSystem::Remove(const WideText& path) {
  Erase(path);
}

bool FileSystem::Exists(const WideText& path) const {
  return Find(path) != nullptr;
}

bool FileSystem::IsFile(const WideText& path) const {
  const Node* node = Find(path);
  return node != nullptr && !node->directory;
}

bool FileSystem::IsDirectory(const WideText& path) const {
  const Node* node = Find(path);
  return node != nullptr && node->directory;
}

std::string FileSystem::Contents(const WideText& path) const {
  const Node* node = Find(path);
  return node == nullptr ? std::string() : node->data;
}

std::vector<WideText> FileSystem::FilesBelow(const WideText& directory) const {
  WideText prefix = Key(directory) + u"\\";
  std::vector<WideText> files;
  for (const auto& entry : nodes_) {
    if (!entry.second.directory && entry.first.compare(0, prefix.size(), prefix) == 0) {
      files.push_back(entry.second.path);
    }
  }
  return files;
}

void FileSystem::Hold(const WideText& path, const std::string& holder, DWORD error) {
  Node* node = Find(path);
  if (node == nullptr) return;
  node->holder = holder;
  node->holdError = error;
}

void FileSystem::HoldAsLoadedModule(const WideText& path, const std::string& holder) {
  Hold(path, holder, ERROR_SHARING_VIOLATION);
  if (Node* node = Find(path)) node->holdDeleteError = ERROR_ACCESS_DENIED;
}

void FileSystem::HoldForRefusals(const WideText& path, unsigned refusals, DWORD error) {
  Hold(path, "process", error);
  if (Node* node = Find(path)) node->refusalsLeft = refusals;
}

void FileSystem::ReleaseHold(const WideText& path) {
  Node* node = Find(path);
  if (node != nullptr) {
    node->holder.clear();
    node->holdDeleteError = 0;
    node->refusalsLeft = 0;
  }
}

void FileSystem::FinishPendingDelete(const WideText& key) {
  Node* node = Find(key);
  if (node == nullptr || !node->deletePending) return;
  for (const auto& weak : node->opens) {
    if (!weak.expired()) return;
  }
  Erase(key);
}

void FileSystem::ReleaseHoldsOf(const std::string& holder) {
  for (auto& entry : nodes_) {
    if (entry.second.holder == holder) {
      entry.second.holder.clear();
      entry.second.holdDeleteError = 0;
    }
  }
}

bool FileSystem::IsHeld(const WideText& path) const {
  const Node* node = Find(path);
  return node != nullptr && !node->holder.empty();
}

void FileSystem::SetOpenDelay(const WideText& path, DWORD milliseconds) {
  if (Node* node = Find(path)) node->openDelay = milliseconds;
}

void FileSystem::SetWriteLimit(const WideText& path, DWORD bytesPerCall) {
  if (Node* node = Find(path)) node->writeLimit = bytesPerCall;
}

void FileSystem::DenyWritesIn(const WideText& directory) {
  if (Node* node = Find(directory)) node->writesDenied = true;
}

bool FileSystem::WritesDeniedBeside(const WideText& path) const {
  WideText key = Key(path);
  size_t separator = key.rfind(u'\\');
  if (separator == WideText::npos) return false;
  const Node* parent = Find(key.substr(0, separator));
  return parent != nullptr && parent->writesDenied;
}

DWORD FileSystem::MoveNow(const WideText& from, const WideText& to, DWORD flags) {
  Node* source = Find(from);
  if (source == nullptr) return ParentExists(from) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
  // Only files move here; a folder open without delete sharing refuses as the platform does.
  if (source->directory) {
    for (const auto& weak : source->opens) {
      auto open = weak.lock();
      if (open && !(open->share & FILE_SHARE_DELETE)) return ERROR_SHARING_VIOLATION;
    }
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  if (!ParentExists(to)) return ERROR_PATH_NOT_FOUND;
  if (WritesDeniedBeside(from) || WritesDeniedBeside(to)) return ERROR_ACCESS_DENIED;
  if (!source->holder.empty()) return source->holdError;
  if (source->deletePending) return ERROR_ACCESS_DENIED;
  for (const auto& weak : source->opens) {
    auto open = weak.lock();
    if (open && !(open->share & FILE_SHARE_DELETE)) return ERROR_SHARING_VIOLATION;
  }
  WideText toKey = Key(to);
  if (toKey != Key(from)) {
    if (Node* target = Find(to)) {
      if (!(flags & MOVEFILE_REPLACE_EXISTING)) return ERROR_ALREADY_EXISTS;
      bool open = false;
      for (const auto& weak : target->opens) open = open || !weak.expired();
      if (target->directory || !target->holder.empty() || open) return ERROR_ACCESS_DENIED;
    }
  }
  Node moved = *source;
  Erase(from);
  moved.path = to;
  for (const auto& weak : moved.opens) {
    if (auto open = weak.lock()) open->key = toKey;
  }
  nodes_[toKey] = moved;
  return ERROR_SUCCESS;
}

namespace {
// Stands in for a version resource inside the file's bytes; a NUL keeps it out of any text a
// test compares.
constexpr char kVersionMarkerText[] = "\0winsim-product-version:";
const std::string kVersionMarker(kVersionMarkerText, sizeof(kVersionMarkerText) - 1);

size_t VersionMarkerAt(const std::string& data) {
  size_t at = data.rfind(kVersionMarker);
  return at != std::string::npos && data.size() - at == kVersionMarker.size() + 16
             ? at
             : std::string::npos;
}

// The four numbers stored at offset `at` of the marker's payload (0 product, 8 file).
std::array<WORD, 4> VersionAt(const std::string& data, size_t at) {
  std::array<WORD, 4> version;
  for (size_t i = 0, p = at; i < 4; ++i, p += 2) {
    version[i] = static_cast<WORD>(static_cast<unsigned char>(data[p]) |
                                   static_cast<unsigned char>(data[p + 1]) << 8);
  }
  return version;
}

void PutVersion(std::string& data, size_t at, const std::array<WORD, 4>& version) {
  for (size_t i = 0, p = at; i < 4; ++i, p += 2) {
    data[p] = static_cast<char>(version[i] & 0xFF);
    data[p + 1] = static_cast<char>(version[i] >> 8);
  }
}
}  // namespace

void FileSystem::SetProductVersion(const WideText& path, std::array<WORD, 4> version) {
  Node* node = Find(path);
  if (node == nullptr) return;
  size_t at = VersionMarkerAt(node->data);
  if (at != std::string::npos) node->data.resize(at);
  node->data += kVersionMarker;
  node->data.append(16, '\0');
  PutVersion(node->data, node->data.size() - 16, version);
  PutVersion(node->data, node->data.size() - 8, version);
}

void FileSystem::SetFileVersion(const WideText& path, std::array<WORD, 4> version) {
  Node* node = Find(path);
  if (node == nullptr) return;
  if (VersionMarkerAt(node->data) == std::string::npos) SetProductVersion(path, version);
  PutVersion(node->data, node->data.size() - 8, version);
}

std::optional<std::array<WORD, 4>> FileSystem::ProductVersion(const WideText& path) const {
  const Node* node = Find(path);
  if (node == nullptr || VersionMarkerAt(node->data) == std::string::npos) return std::nullopt;
  return VersionAt(node->data, node->data.size() - 16);
}

std::optional<std::array<WORD, 4>> FileSystem::FileVersion(const WideText& path) const {
  const Node* node = Find(path);
  if (node == nullptr || VersionMarkerAt(node->data) == std::string::npos) return std::nullopt;
  return VersionAt(node->data, node->data.size() - 8);
}

}  // namespace winsim

namespace {

// The path a file call acts on: relative names resolve against the current directory.
WideText FullPathOf(LPCWSTR fileName) {
  return Machine::Current().processes().FullPath(winsim::FromPtr(fileName));
}

FileSystem& Files() {
  return Machine::Current().files();
}

// Read or write access, as far as sharing and the file calls care; appending is writing.
DWORD AccessOf(DWORD desired) {
  DWORD access = 0;
  if (desired & (GENERIC_READ | GENERIC_ALL)) access |= GENERIC_READ;
  if (desired & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) {
    access |= GENERIC_WRITE;
  }
  return access;
}

// True when a new open with this access and share mode is compatible with the open handles.
bool SharingAllows(FileSystem::Node& node, DWORD access, DWORD desired, DWORD share) {
  for (const auto& weak : node.opens) {
    auto open = weak.lock();
    if (!open) continue;
    if ((access & GENERIC_READ) && !(open->share & FILE_SHARE_READ)) return false;
    if ((access & GENERIC_WRITE) && !(open->share & FILE_SHARE_WRITE)) return false;
    if ((desired & DELETE) && !(open->share & FILE_SHARE_DELETE)) return false;
    if ((open->access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return false;
    if ((open->access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
    if ((open->desired & DELETE) && !(share & FILE_SHARE_DELETE)) return false;
  }
  return true;
}

// A new handle to the node.
HANDLE AddOpen(FileSystem::Node& node, DWORD desired, DWORD share) {
  auto open = std::make_shared<FileSystem::OpenFile>();
  open->key = FileSystem::Key(node.path);
  open->access = AccessOf(desired);
  open->desired = desired;
  open->share = share;
  open->appendOnly = (desired & FILE_APPEND_DATA) != 0 &&
                     (desired & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) == 0;
  node.opens.push_back(open);
  return Machine::Current().AddHandle(winsim::HandleKind::File, open);
}

bool OpenWithoutDeleteSharing(const FileSystem::Node& node) {
  for (const auto& weak : node.opens) {
    auto open = weak.lock();
    if (open && !(open->share & FILE_SHARE_DELETE)) return true;
  }
  return false;
}

// The open file behind a handle and its node, or the error to fail with: the handle must be an
// open file handle that was opened with the access the operation needs.
DWORD ResolveOpenFile(HANDLE handle, DWORD access, std::shared_ptr<FileSystem::OpenFile>* open,
                      FileSystem::Node** node) {
  *open = Machine::Current().LookupHandle<FileSystem::OpenFile>(handle, winsim::HandleKind::File);
  if (!*open) return ERROR_INVALID_HANDLE;
  *node = Files().Find((*open)->key);
  if (!((*open)->access & access) || *node == nullptr) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

}  // namespace

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  WINSIM_ENTER_OR_FAIL(INVALID_HANDLE_VALUE);
  Machine& machine = Machine::Current();
  WideText path = FullPathOf(lpFileName);
  if (!path.empty()) {
    path = Files().Resolve(path, (dwFlagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) == 0);
    if (path.empty()) {
      SetLastError(ERROR_CANT_RESOLVE_FILENAME);
      return INVALID_HANDLE_VALUE;
    }
  }
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  Files().ReplaceIfDue(path);
  FileSystem::Node* node = Files().Find(path);
  if (node != nullptr && node->openDelay != 0) machine.Advance(node->openDelay);
  DWORD access = AccessOf(dwDesiredAccess);
  if (node != nullptr && node->directory) {
    // A folder opens only with backup semantics, to be read about, never written as a file.
    bool opens = (dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0 &&
                 (dwCreationDisposition == OPEN_EXISTING || dwCreationDisposition == OPEN_ALWAYS) &&
                 (access & GENERIC_WRITE) == 0;
    if (!opens || !SharingAllows(*node, access, dwDesiredAccess, dwShareMode)) {
      SetLastError(opens ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = AddOpen(*node, dwDesiredAccess, dwShareMode);
    SetLastError(dwCreationDisposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
  }
  if (node != nullptr && node->deletePending) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  bool existed = node != nullptr;
  switch (dwCreationDisposition) {
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING:
      if (!existed) {
        SetLastError(Files().ParentExists(path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
      }
      break;
    case CREATE_NEW:
      if (existed) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
      }
      break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  if (!existed && !Files().ParentExists(path)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool writes = (access & GENERIC_WRITE) != 0 || dwCreationDisposition == CREATE_ALWAYS ||
                dwCreationDisposition == TRUNCATE_EXISTING;
  if ((writes || !existed) && Files().WritesDeniedBeside(path)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (existed && writes && !node->holder.empty()) {
    SetLastError(node->holdError);
    if (node->refusalsLeft != 0 && --node->refusalsLeft == 0) Files().ReleaseHold(path);
    return INVALID_HANDLE_VALUE;
  }
  if (existed && !SharingAllows(*node, access, dwDesiredAccess, dwShareMode)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  constexpr DWORD kAttributesOnly = FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  if (existed && node->oplocked && (dwDesiredAccess & ~kAttributesOnly) != 0) {
    if (dwFlagsAndAttributes & FILE_FLAG_OPEN_REQUIRING_OPLOCK) {
      SetLastError(ERROR_CANNOT_BREAK_OPLOCK);
      return INVALID_HANDLE_VALUE;
    }
    machine.Advance(winsim::kOplockWait);
  }
  if (!existed) node = &Files().CreateAsProgram(path, false);
  if (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING) {
    node->data.clear();
  }
  HANDLE handle = AddOpen(*node, dwDesiredAccess, dwShareMode);
  // Opening an existing file with CREATE_ALWAYS or OPEN_ALWAYS reports ERROR_ALREADY_EXISTS.
  bool alwaysDisposition =
      dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
  SetLastError(existed && alwaysDisposition ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  WINSIM_ENTER_OR_FAIL(FALSE);
  std::shared_ptr<FileSystem::OpenFile> open;
  FileSystem::Node* node = nullptr;
  if (DWORD error = ResolveOpenFile(hFile, GENERIC_READ, &open, &node)) {
    SetLastError(error);
    return FALSE;
  }
  size_t available = open->position < node->data.size() ? node->data.size() - open->position : 0;
  size_t count = available < nNumberOfBytesToRead ? available : nNumberOfBytesToRead;
  if (count != 0) memcpy(lpBuffer, node->data.data() + open->position, count);
  open->position += count;
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = static_cast<DWORD>(count);
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  WINSIM_ENTER_OR_FAIL(FALSE);
  std::shared_ptr<FileSystem::OpenFile> open;
  FileSystem::Node* node = nullptr;
  if (DWORD error = ResolveOpenFile(hFile, GENERIC_WRITE, &open, &node)) {
    SetLastError(error);
    return FALSE;
  }
  if (open->appendOnly || node->pipeBuffer != 0) open->position = node->data.size();
  DWORD count = nNumberOfBytesToWrite;
  if (node->writeLimit != 0 && count > node->writeLimit) count = node->writeLimit;
  size_t room = node->data.size() < node->pipeBuffer ? node->pipeBuffer - node->data.size() : 0;
  if (node->pipeBuffer != 0 && count > room) {
    if (!open->noWait) Machine::Current().Advance(winsim::kOplockWait);
    count = open->noWait ? 0 : static_cast<DWORD>(room);
  }
  if (node->data.size() < open->position + count) node->data.resize(open->position + count);
  if (count != 0) memcpy(&node->data[open->position], lpBuffer, count);
  open->position += count;
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = count;
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  WideText path = FullPathOf(lpFileName);
  FileSystem::Node* node = Files().Find(path);
  if (node == nullptr) {
    SetLastError(Files().ParentExists(path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (node->directory) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (Files().WritesDeniedBeside(path)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!node->holder.empty()) {
    SetLastError(node->holdDeleteError != 0 ? node->holdDeleteError : node->holdError);
    return FALSE;
  }
  if (node->deletePending) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (OpenWithoutDeleteSharing(*node)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  // Handles that allow deletion keep the file (and its name) until the last of them closes.
  node->deletePending = true;
  Files().FinishPendingDelete(path);
  winsim::PoisonLastError();
  return TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  WINSIM_ENTER_OR_FAIL(INVALID_FILE_ATTRIBUTES);
  WideText path = FullPathOf(lpFileName);
  const FileSystem::Node* node = Files().Find(path);
  if (node == nullptr) {
    SetLastError(Files().ParentExists(path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  winsim::PoisonLastError();
  return node->directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile,
                                       LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  // Every handle CreateFileW returns may read its file's attributes.
  auto open =
      Machine::Current().LookupHandle<FileSystem::OpenFile>(hFile, winsim::HandleKind::File);
  const FileSystem::Node* node = open ? Files().Find(open->key) : nullptr;
  if (node == nullptr || lpFileInformation == nullptr) {
    SetLastError(node == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  memset(lpFileInformation, 0, sizeof(*lpFileInformation));
  lpFileInformation->dwFileAttributes =
      (node->directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE) |
      (node->linkTarget.empty() ? 0 : FILE_ATTRIBUTE_REPARSE_POINT);
  uint64_t size = node->data.size();
  lpFileInformation->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  lpFileInformation->nFileSizeLow = static_cast<DWORD>(size);
  lpFileInformation->nNumberOfLinks = node->links;
  winsim::PoisonLastError();
  return TRUE;
}

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
  WINSIM_ENTER_OR_FAIL(INVALID_HANDLE_VALUE);
  winsim::PoisonLastError();
  return nStdHandle == STD_OUTPUT_HANDLE ? Machine::Current().processes().standardOutput : nullptr;
}

DWORD WINAPI GetFileType(HANDLE hFile) {
  WINSIM_ENTER_OR_FAIL(FILE_TYPE_UNKNOWN);
  auto open =
      Machine::Current().LookupHandle<FileSystem::OpenFile>(hFile, winsim::HandleKind::File);
  const FileSystem::Node* node = open ? Files().Find(open->key) : nullptr;
  if (node == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(NO_ERROR);  // FILE_TYPE_UNKNOWN is told from a failure by NO_ERROR
  return node->pipeBuffer != 0 ? FILE_TYPE_PIPE : FILE_TYPE_DISK;
}

BOOL WINAPI SetNamedPipeHandleState(HANDLE hNamedPipe, LPDWORD lpMode, LPDWORD lpMaxCollectionCount,
                                    LPDWORD lpCollectDataTimeout) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  auto open =
      Machine::Current().LookupHandle<FileSystem::OpenFile>(hNamedPipe, winsim::HandleKind::File);
  const FileSystem::Node* node = open ? Files().Find(open->key) : nullptr;
  if (node == nullptr || node->pipeBuffer == 0 || lpMaxCollectionCount != nullptr ||
      lpCollectDataTimeout != nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);  // as Wine answers for what is no pipe of its own
    return FALSE;
  }
  if (lpMode != nullptr) open->noWait = (*lpMode & PIPE_NOWAIT) != 0;
  winsim::PoisonLastError();
  return TRUE;
}

HANDLE WINAPI ReOpenFile(HANDLE hOriginalFile, DWORD dwDesiredAccess, DWORD dwShareMode,
                         DWORD dwFlagsAndAttributes) {
  (void)dwFlagsAndAttributes;
  WINSIM_ENTER_OR_FAIL(INVALID_HANDLE_VALUE);
  auto original = Machine::Current().LookupHandle<FileSystem::OpenFile>(hOriginalFile,
                                                                        winsim::HandleKind::File);
  FileSystem::Node* node = original ? Files().Find(original->key) : nullptr;
  if (node == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
  }
  if (!SharingAllows(*node, AccessOf(dwDesiredAccess), dwDesiredAccess, dwShareMode)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  if (node->oplocked) Machine::Current().Advance(winsim::kOplockWait);  // an open like any other
  HANDLE handle = AddOpen(*node, dwDesiredAccess, dwShareMode);
  winsim::PoisonLastError();
  return handle;
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  WideText path = FullPathOf(lpPathName);
  if (!path.empty()) path = Files().Resolve(path, false);
  if (path.empty() || !Files().ParentExists(path)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (Files().Exists(path)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (Files().WritesDeniedBeside(path)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  FileSystem::Node& node = Files().CreateAsProgram(path, true);
  if (lpSecurityAttributes != nullptr && lpSecurityAttributes->lpSecurityDescriptor != nullptr) {
    winsim::ReadDescriptor(lpSecurityAttributes->lpSecurityDescriptor, &node.owner, &node.access,
                           &node.accessProtected);
  }
  winsim::PoisonLastError();
  return TRUE;
}

DWORD WINAPI GetLongPathNameW(LPCWSTR lpszShortPath, LPWSTR lpszLongPath, DWORD cchBuffer) {
  WINSIM_ENTER_OR_FAIL(0);
  WideText path = winsim::FromPtr(lpszShortPath);
  WideText resolved = Files().Resolve(FullPathOf(lpszShortPath), true);
  if (resolved.empty() || !Files().Exists(resolved)) {
    SetLastError(Files().ParentExists(resolved) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return 0;
  }
  winsim::PoisonLastError();
  // Too small a buffer: the size needed, terminator included.
  if (lpszLongPath == nullptr || cchBuffer < path.size() + 1) {
    return static_cast<DWORD>(path.size() + 1);
  }
  memcpy(lpszLongPath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
  return static_cast<DWORD>(path.size());
}
