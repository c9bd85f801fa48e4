#include "runner_support.h"

#include "foundation/handles.h"

namespace {
WString g_packageDir;
}  // namespace

void SetPackageDir(const char* path) {
  g_packageDir = WString::FromNarrow(path);
  uint64_t length = g_packageDir.Length();
  if (length != 0 && g_packageDir.Text()[length - 1] != L'\\') g_packageDir.Append(L"\\");
}

WString PackagePath(const WCHAR* relative) {
  WString path = g_packageDir.Copy();
  path.Append(relative);
  return path;
}

std::string Utf8(const WCHAR* text) {
  if (text == nullptr) return "(null)";
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return std::string();
  std::string result(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], bytes, nullptr, nullptr);
  result.resize(static_cast<size_t>(bytes) - 1);
  return result;
}

bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

ScratchDirectory::ScratchDirectory() {
  WCHAR temp[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) return;
  static unsigned counter = 0;
  path_.Format(L"%sruntest-%u-%u\\", temp, GetCurrentProcessId(), ++counter);
  if (!CreateDirectoryW(path_.Text(), nullptr)) path_.Release();
}

ScratchDirectory::~ScratchDirectory() {
  if (path_.Length() == 0) return;
  WString pattern = path_.Copy();
  pattern.Append(L"*");
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.Text(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      DeleteFileW(File(found.cFileName).Text());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path_.Text());
}

WString ScratchDirectory::File(const WCHAR* name) const {
  WString path = path_.Copy();
  path.Append(name);
  return path;
}

bool WriteWholeFile(const WCHAR* path, const std::vector<BYTE>& bytes) {
  UniqueFile file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  if (bytes.empty()) return true;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool ReadWholeFile(const WCHAR* path, std::vector<BYTE>& bytes) {
  bytes.clear();
  UniqueFile file(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  BYTE chunk[4096];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr)) return false;
    if (read == 0) return true;
    bytes.insert(bytes.end(), chunk, chunk + read);
  }
}

std::vector<BYTE> PatternBytes(size_t count) {
  std::vector<BYTE> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<BYTE>(i % 251);
  return bytes;
}
