// The running process: command line, module path, current directory, system directory,
// temporary folder, DLL search order, and module handles.
#include "winsim/processes.h"

#include <string.h>

#include "winsim/files.h"

using winsim::Machine;

namespace winsim {

void Processes::SetArguments(const WideText& arguments) {
  commandLine = u"\"" + modulePath + u"\"";
  if (!arguments.empty()) commandLine += u" " + arguments;
}

WideText Processes::FullPath(const WideText& path) const {
  bool separatorFirst = !path.empty() && (path[0] == u'\\' || path[0] == u'/');
  bool drive = path.size() >= 2 && path[1] == u':';
  // Full paths, and the rare root- or drive-relative forms, are taken as given.
  if (path.empty() || separatorFirst || drive) return path;
  // Fold the "." and ".." segments of the relative part into the current directory.
  WideText full = currentDirectory;
  if (full.size() > 3 && full.back() == u'\\') full.pop_back();
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != u'\\' && path[i] != u'/') continue;
    WideText segment = path.substr(start, i - start);
    start = i + 1;
    if (segment.empty() || segment == u".") continue;
    if (segment == u"..") {
      size_t cut = full.rfind(u'\\');
      if (cut != WideText::npos) full.resize(cut > 2 ? cut : 3);  // the drive root stays
      continue;
    }
    if (full.back() != u'\\') full += u'\\';
    full += segment;
  }
  return full;
}

}  // namespace winsim

LPWSTR WINAPI GetCommandLineW(void) {
  winsim::EnterCall(__func__);
  // The process keeps its command line for its whole life; the pointer stays valid.
  return const_cast<LPWSTR>(winsim::Ptr(Machine::Current().processes().commandLine));
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  WINSIM_ENTER_OR_FAIL(0);
  if (hModule != nullptr && hModule != winsim::Processes::ProgramModule()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  const winsim::WideText& path = Machine::Current().processes().modulePath;
  if (nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() >= nSize) {
    // Cut to the buffer, terminated, and the full buffer size returned.
    memcpy(lpFilename, path.c_str(), (nSize - 1) * sizeof(WCHAR));
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  memcpy(lpFilename, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
  winsim::PoisonLastError();
  return static_cast<DWORD>(path.size());
}

UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  WINSIM_ENTER_OR_FAIL(0);
  const winsim::WideText& directory = Machine::Current().processes().systemDirectory;
  UINT needed = static_cast<UINT>(directory.size() + 1);
  winsim::PoisonLastError();
  // Too small a buffer: the size needed, terminator included, and nothing copied.
  if (lpBuffer == nullptr || uSize < needed) return needed;
  memcpy(lpBuffer, directory.c_str(), needed * sizeof(WCHAR));
  return needed - 1;
}

DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
  WINSIM_ENTER_OR_FAIL(0);
  const winsim::WideText& directory = Machine::Current().processes().tempDirectory;
  DWORD needed = static_cast<DWORD>(directory.size() + 1);
  winsim::PoisonLastError();
  // Too small a buffer: the size needed, terminator included, and nothing copied.
  if (lpBuffer == nullptr || nBufferLength < needed) return needed;
  memcpy(lpBuffer, directory.c_str(), needed * sizeof(WCHAR));
  return needed - 1;
}

namespace winsim {

DWORD WINAPI GetTempPath2W(DWORD BufferLength, LPWSTR Buffer) {
  WINSIM_ENTER_OR_FAIL(0);
  const Processes& processes = Machine::Current().processes();
  const WideText& directory =
      processes.token.user == kSystemSid ? processes.systemTempDirectory : processes.tempDirectory;
  DWORD needed = static_cast<DWORD>(directory.size() + 1);
  PoisonLastError();
  if (Buffer == nullptr || BufferLength < needed) return needed;
  memcpy(Buffer, directory.c_str(), needed * sizeof(WCHAR));
  return needed - 1;
}

LONG WINAPI BCryptGenRandom(void* hAlgorithm, BYTE* pbBuffer, DWORD cbBuffer, DWORD dwFlags) {
  constexpr LONG kInvalidParameter = static_cast<LONG>(0xC000000Du);
  WINSIM_ENTER_OR_FAIL(kInvalidParameter);
  constexpr DWORD kSystemPreferredRng = 0x00000002;
  if (hAlgorithm != nullptr || dwFlags != kSystemPreferredRng || pbBuffer == nullptr) {
    return kInvalidParameter;
  }
  unsigned call = ++Machine::Current().processes().randomCalls;
  for (DWORD i = 0; i < cbBuffer; ++i) pbBuffer[i] = static_cast<BYTE>(call * 37 + i * 11);
  return 0;
}

}  // namespace winsim

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  WINSIM_ENTER_OR_FAIL(0);
  for (const auto& [name, value] : Machine::Current().processes().environment) {
    if (lpName == nullptr || !winsim::EqualsIgnoringCase(name, winsim::FromPtr(lpName))) continue;
    DWORD needed = static_cast<DWORD>(value.size() + 1);
    winsim::PoisonLastError();
    // Too small a buffer: the size needed, terminator included, and nothing copied.
    if (lpBuffer == nullptr || nSize < needed) return needed;
    memcpy(lpBuffer, value.c_str(), needed * sizeof(WCHAR));
    return needed - 1;
  }
  SetLastError(ERROR_ENVVAR_NOT_FOUND);
  return 0;
}

DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
  WINSIM_ENTER_OR_FAIL(0);
  const winsim::WideText& directory = Machine::Current().processes().currentDirectory;
  DWORD needed = static_cast<DWORD>(directory.size() + 1);
  winsim::PoisonLastError();
  // Too small a buffer: the size needed, terminator included, and nothing copied.
  if (lpBuffer == nullptr || nBufferLength < needed) return needed;
  memcpy(lpBuffer, directory.c_str(), needed * sizeof(WCHAR));
  return needed - 1;
}

BOOL WINAPI SetCurrentDirectoryW(LPCWSTR lpPathName) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  winsim::Processes& processes = Machine::Current().processes();
  winsim::WideText full = processes.FullPath(winsim::FromPtr(lpPathName));
  while (full.size() > 3 && (full.back() == u'\\' || full.back() == u'/')) full.pop_back();
  const winsim::FileSystem::Node* node = Machine::Current().files().Find(full);
  bool driveRoot = full.size() == 3;
  if (!driveRoot && (node == nullptr || !node->directory)) {
    SetLastError(node != nullptr ? ERROR_DIRECTORY : ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  processes.currentDirectory = full;
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI SetDefaultDllDirectories(DWORD DirectoryFlags) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  const DWORD allowed = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                        LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
  if (DirectoryFlags == 0 || (DirectoryFlags & ~allowed) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Machine::Current().processes().defaultDllDirectories = DirectoryFlags;
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!Machine::Current().RemoveHandle(hLibModule, winsim::HandleKind::Module)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  winsim::PoisonLastError();
  return TRUE;
}
