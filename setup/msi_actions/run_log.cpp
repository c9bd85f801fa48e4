#include "run_log.h"

#include "foundation/handles.h"

namespace {

const WCHAR kLogName[] = L"vexaWriter-setup.log";
const DWORD kMostBytesRead = 4 * 1024 * 1024;

void AddCandidate(LogSnapshot* snapshot, const WCHAR* folder, const WCHAR* subfolder) {
  if (snapshot->count == kLogCandidates || folder[0] == L'\0') return;
  WCHAR* path = snapshot->paths[snapshot->count];
  int length =
      lstrlenW(folder) + 1 + (subfolder ? lstrlenW(subfolder) + 1 : 0) + lstrlenW(kLogName);
  if (length >= MAX_PATH) return;
  lstrcpyW(path, folder);
  if (path[lstrlenW(path) - 1] != L'\\') lstrcatW(path, L"\\");
  if (subfolder != nullptr) {
    lstrcatW(path, subfolder);
    lstrcatW(path, L"\\");
  }
  lstrcatW(path, kLogName);
  for (int i = 0; i < snapshot->count; ++i) {
    if (lstrcmpiW(snapshot->paths[i], path) == 0) return;
  }
  snapshot->count++;
}

LONGLONG FileSize(const WCHAR* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return -1;
  return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Where a run may write its log: this account's temporary folder for a normal account; for the
// system account the system-only temporary folder (GetTempPath2W, where the platform has it) or
// else the program's log folder under the common application data folder.
void ListCandidates(LogSnapshot* snapshot) {
  WCHAR folder[MAX_PATH + 1];
  using GetTempPath2Function = DWORD(WINAPI*)(DWORD, LPWSTR);
  auto getTempPath2 = reinterpret_cast<GetTempPath2Function>(reinterpret_cast<void (*)(void)>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
  if (getTempPath2 != nullptr && getTempPath2(MAX_PATH + 1, folder) - 1 < MAX_PATH) {
    AddCandidate(snapshot, folder, nullptr);
  }
  if (GetTempPathW(MAX_PATH + 1, folder) - 1 < MAX_PATH) AddCandidate(snapshot, folder, nullptr);
  DWORD length = GetEnvironmentVariableW(L"ProgramData", folder, MAX_PATH);
  if (length != 0 && length < MAX_PATH) AddCandidate(snapshot, folder, L"vexaWriter-logs");
}

LONGLONG SizeBefore(const LogSnapshot& before, const WCHAR* path) {
  for (int i = 0; i < before.count; ++i) {
    if (lstrcmpiW(before.paths[i], path) == 0) return before.sizes[i];
  }
  return -1;
}

char* ReadFrom(const WCHAR* path, LONGLONG offset, DWORD* bytes) {
  UniqueFile file(CreateFileW(path, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= offset) return nullptr;
  LONGLONG wanted = size.QuadPart - offset;
  if (wanted > kMostBytesRead) {  // keep the end: the last lines say how the run ended
    offset = size.QuadPart - kMostBytesRead;
    wanted = kMostBytesRead;
  }
  LARGE_INTEGER position;
  position.QuadPart = offset;
  if (!SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN)) return nullptr;
  char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(wanted)));
  if (text == nullptr) return nullptr;
  if (!ReadFile(file.get(), text, static_cast<DWORD>(wanted), bytes, nullptr) || *bytes == 0) {
    HeapFree(GetProcessHeap(), 0, text);
    return nullptr;
  }
  return text;
}

}  // namespace

void TakeLogSnapshot(LogSnapshot* snapshot) {
  snapshot->count = 0;
  ListCandidates(snapshot);
  for (int i = 0; i < snapshot->count; ++i) snapshot->sizes[i] = FileSize(snapshot->paths[i]);
}

char* ReadRunEntry(const LogSnapshot& before, WCHAR (&path)[MAX_PATH], DWORD* bytes) {
  LogSnapshot after;
  TakeLogSnapshot(&after);
  for (int i = 0; i < after.count; ++i) {
    LONGLONG old = SizeBefore(before, after.paths[i]);
    if (after.sizes[i] < 0 || after.sizes[i] == old) continue;
    // A smaller file than before was started anew: all of it is this run's.
    char* text = ReadFrom(after.paths[i], old < 0 || after.sizes[i] < old ? 0 : old, bytes);
    if (text != nullptr) {
      lstrcpyW(path, after.paths[i]);
      return text;
    }
  }
  return nullptr;
}
