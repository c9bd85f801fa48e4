// The running process: command line, module path, system directory, temporary folder, DLL
// search order, and module handles.
#include "winsim/processes.h"

#include <string.h>

using winsim::Machine;

namespace winsim {

void Processes::SetArguments(const WideText& arguments) {
  commandLine = u"\"" + modulePath + u"\"";
  if (!arguments.empty()) commandLine += u" " + arguments;
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
