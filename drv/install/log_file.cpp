#include "log_file.h"

#include "foundation/bounded_format.h"
#include "foundation/handles.h"
#include "foundation/install_state.h"
#include "foundation/product.h"
#include "foundation/wstring.h"

namespace {

constexpr uint64_t kRenameAboveBytes = 1024 * 1024;
constexpr const WCHAR* kLogName = L"vexaWriter-setup.log";
constexpr const WCHAR* kOldLogName = L"vexaWriter-setup.old.log";

// The file's full path in the temporary folder; false when there is none or it does not fit.
bool TempFilePath(const WCHAR* name, WString& path) {
  WCHAR folder[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return false;
  path.Assign(folder);
  path.Append(name);
  return path.Length() == length + static_cast<uint64_t>(lstrlenW(name));
}

// Writes count digits of value, leading zeros included.
void PutDigits(WCHAR* at, unsigned value, int count) {
  for (int i = count - 1; i >= 0; --i) {
    at[i] = static_cast<WCHAR>(L'0' + value % 10);
    value /= 10;
  }
}

// "YYYY-MM-DD hh:mm:ss" of the local time now.
void LocalTimeStamp(WCHAR (&stamp)[20]) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  lstrcpyW(stamp, L"0000-00-00 00:00:00");
  PutDigits(stamp, now.wYear, 4);
  PutDigits(stamp + 5, now.wMonth, 2);
  PutDigits(stamp + 8, now.wDay, 2);
  PutDigits(stamp + 11, now.wHour, 2);
  PutDigits(stamp + 14, now.wMinute, 2);
  PutDigits(stamp + 17, now.wSecond, 2);
}

// The whole entry of this run: header, log, exit code.
bool ComposeEntry(const InstallState& state, const WCHAR* keyword, int exitCode, WString& entry) {
  WCHAR stamp[20];
  LocalTimeStamp(stamp);
  WCHAR line[128];
  FormatBoundedV(line, 128, L"==== %s %s - vexaWriter build %d ====\r\n", stamp, keyword,
                 kBuildNumber);
  entry.Assign(line);
  entry.Append(state.logText.Text());
  FormatBoundedV(line, 128, L"Exit code %d\r\n", exitCode);
  uint64_t expected = entry.Length() + static_cast<uint64_t>(lstrlenW(line));
  entry.Append(line);
  return entry.Length() == expected;
}

// Opens the log for appending and tells its size. The temporary folder of the system account is
// one every account may create files in, so the name may have been planted there: a file with
// more than one name (a hard link) or a reparse point (a symbolic link) is left alone, never
// written through, so that this program's rights never reach a file it did not mean.
HANDLE OpenForAppending(const WCHAR* path, uint64_t& size) {
  // Shared in every way, so that a viewer may keep the file open and another run may append to
  // it or rename it meanwhile.
  UniqueFile file(CreateFileW(
      path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!file || !GetFileInformationByHandle(file.get(), &information)) return INVALID_HANDLE_VALUE;
  if (information.nNumberOfLinks != 1 ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return INVALID_HANDLE_VALUE;
  }
  size = static_cast<uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
  return file.release();
}

void WriteAll(HANDLE file, const char* bytes, DWORD count) {
  while (count != 0) {
    DWORD written = 0;
    if (!WriteFile(file, bytes, count, &written, nullptr) || written == 0) return;
    bytes += written;
    count -= written;
  }
}

}  // namespace

void AppendRunLog(const InstallState& state, const WCHAR* keyword, int exitCode) {
  WString logPath;
  WString oldLogPath;
  if (!TempFilePath(kLogName, logPath) || !TempFilePath(kOldLogName, oldLogPath)) return;
  WString entry;
  // A conversion counts in int; a log that large is not written rather than cut.
  if (!ComposeEntry(state, keyword, exitCode, entry) || entry.Length() > 0x7FFFFFFF / 3) return;
  int units = static_cast<int>(entry.Length());
  int bytes = WideCharToMultiByte(CP_UTF8, 0, entry.Text(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  UniqueGlobalBlock utf8(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(bytes)));
  if (!utf8) return;
  char* text = static_cast<char*>(utf8.get());
  if (WideCharToMultiByte(CP_UTF8, 0, entry.Text(), units, text, bytes, nullptr, nullptr) !=
      bytes) {
    return;
  }

  uint64_t size = 0;
  UniqueFile file(OpenForAppending(logPath.Text(), size));
  if (!file) return;
  if (size > kRenameAboveBytes) {
    file.reset();
    // If the rename fails (the old file held open, say), this run still goes into the big file
    // rather than nowhere; the next run tries again.
    MoveFileExW(logPath.Text(), oldLogPath.Text(), MOVEFILE_REPLACE_EXISTING);
    file.reset(OpenForAppending(logPath.Text(), size));
    if (!file) return;
  }
  WriteAll(file.get(), text, static_cast<DWORD>(bytes));
}
