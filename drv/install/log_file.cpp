#include "log_file.h"

#include "foundation/bounded_format.h"
#include "foundation/handles.h"
#include "foundation/install_state.h"
#include "foundation/log_channel.h"
#include "foundation/product.h"
#include "foundation/wstring.h"
#include "log_folder.h"

namespace {

constexpr uint64_t kRenameAboveBytes = 1024 * 1024;
constexpr const WCHAR* kLogName = L"vexaWriter-setup.log";
constexpr const WCHAR* kOldLogName = L"vexaWriter-setup.old.log";
constexpr size_t kLineUnits = 128;

// Writes count digits of value, leading zeros included.
void PutDigits(WCHAR* at, unsigned value, int count) {
  for (int i = count - 1; i >= 0; --i) {
    at[i] = static_cast<WCHAR>(L'0' + value % 10);
    value /= 10;
  }
}

// "==== YYYY-MM-DD hh:mm:ss keyword - vexaWriter build N ====", the local time now.
void HeaderLine(const WCHAR* keyword, WCHAR (&line)[kLineUnits]) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  WCHAR stamp[20];
  lstrcpyW(stamp, L"0000-00-00 00:00:00");
  PutDigits(stamp, now.wYear, 4);
  PutDigits(stamp + 5, now.wMonth, 2);
  PutDigits(stamp + 8, now.wDay, 2);
  PutDigits(stamp + 11, now.wHour, 2);
  PutDigits(stamp + 14, now.wMinute, 2);
  PutDigits(stamp + 17, now.wSecond, 2);
  FormatBoundedV(line, kLineUnits, L"==== %s %s - vexaWriter build %d ====\r\n", stamp, keyword,
                 kBuildNumber);
}

// The log file in its checked folder, open for appending; an earlier log over 1 MiB is first
// renamed out of the way. Null when the folder or the file fails a check.
UniqueFile OpenLogFile() {
  LogFolder folder;
  uint64_t size = 0;
  if (!folder.Open()) return UniqueFile();
  UniqueFile file = folder.OpenForAppending(kLogName, size);
  if (file && size > kRenameAboveBytes && folder.RenameByHandle(file.get(), kOldLogName)) {
    // If the rename fails (the old file held open, say), this run still goes into the big
    // file rather than nowhere; the next run tries again.
    file = folder.OpenForAppending(kLogName, size);
  }
  return file;
}

// The whole entry of a run whose log file was not streamed, written with one append; and to the
// log channel first when the run did not stream there either (it never had the run lock).
void AppendWholeEntry(const InstallState& state, const WCHAR* keyword, const WCHAR* lastLine,
                      bool toChannel) {
  WCHAR header[kLineUnits];
  HeaderLine(keyword, header);
  WString entry;
  entry.Assign(header);
  entry.Append(state.logText.Text());
  entry.Append(lastLine);
  // A conversion counts in int; a log that large is not written rather than cut.
  uint64_t expected = static_cast<uint64_t>(lstrlenW(header)) + state.logText.Length() +
                      static_cast<uint64_t>(lstrlenW(lastLine));
  if (entry.Length() != expected || entry.Length() > 0x7FFFFFFF / 3) return;
  if (toChannel) {
    LogFileSink channel;
    channel.OpenChannel(OpenLogChannel());
    channel.Append(entry.Text(), entry.Length());
  }
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
  UniqueFile file = OpenLogFile();
  for (DWORD count = static_cast<DWORD>(bytes), written = 0; file && count != 0;
       text += written, count -= written) {
    if (!WriteFile(file.get(), text, count, &written, nullptr) || written == 0) return;
  }
}

}  // namespace

void StartRunLog(InstallState& state, const WCHAR* keyword) {
  state.logFile.OpenChannel(OpenLogChannel());
  UniqueFile file = OpenLogFile();
  if (file) state.logFile.Open(file.release());
  if (!state.logFile.IsOpen() && !state.logFile.HasChannel()) return;
  WCHAR header[kLineUnits];
  HeaderLine(keyword, header);
  state.logFile.Append(header, static_cast<uint64_t>(lstrlenW(header)));
  state.logFile.Append(state.logText.Text(), state.logText.Length());
}

void FinishRunLog(InstallState& state, const WCHAR* keyword, int exitCode) {
  WCHAR line[kLineUnits];
  FormatBoundedV(line, kLineUnits, L"Exit code %d\r\n", exitCode);
  bool streamed = state.logFile.IsOpen() || state.logFile.HasChannel();
  if (streamed) state.logFile.Append(line, static_cast<uint64_t>(lstrlenW(line)));
  if (!state.logFile.IsOpen()) AppendWholeEntry(state, keyword, line, !streamed);
  state.logFile.Close();
}
