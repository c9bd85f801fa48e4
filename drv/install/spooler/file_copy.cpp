#include "file_copy.h"

#include "foundation/error_codes.h"
#include "foundation/handles.h"
#include "foundation/install_log.h"
#include "foundation/install_state.h"
#include "foundation/wstring.h"

namespace {

constexpr DWORD kCopyChunkBytes = 8192;
constexpr int kOpenAttempts = 100;
constexpr DWORD kOpenRetryMilliseconds = 50;
constexpr DWORD kOpenTimeLimitMilliseconds = 10000;

// The directory, a backslash unless it is empty or already ends in one, and the file name.
// False when the heap could not hold the whole path.
bool JoinPath(WString& path, const WCHAR* directory, const WCHAR* fileName) {
  path.Assign(directory);
  uint64_t expected = static_cast<uint64_t>(lstrlenW(directory)) + lstrlenW(fileName);
  if (path.Length() != 0 && path.Text()[path.Length() - 1] != L'\\') {
    path.Append(L"\\");
    ++expected;
  }
  path.Append(fileName);
  return path.Length() == expected;
}

struct CopyOutcome {
  int stage = 0;  // 0, or the error code of the stage that failed
  DWORD error = 0;
  const WCHAR* remark = L"";
};

// Copies source to destination in chunks through one stack buffer.
CopyOutcome CopyContents(HANDLE source, HANDLE destination) {
  CopyOutcome outcome;
  BYTE buffer[kCopyChunkBytes];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(source, buffer, kCopyChunkBytes, &read, nullptr)) {
      outcome = {kErrorCopyShortWrite, GetLastError(), L"Copy Error"};
      return outcome;
    }
    if (read > 0) {
      DWORD written = 0;
      BOOL wrote = WriteFile(destination, buffer, read, &written, nullptr);
      if (!wrote || written != read) {
        // A write that reports success but writes less leaves no error of its own.
        outcome = {kErrorCopyShortWrite,
                   wrote ? static_cast<DWORD>(ERROR_WRITE_FAULT) : GetLastError(), L"Copy Error"};
        return outcome;
      }
    }
    if (read < kCopyChunkBytes) return outcome;
  }
}

CopyOutcome CopyFileOver(InstallState& state, const WCHAR* fileName, const WCHAR* sourcePath,
                         const WCHAR* destinationPath) {
  // A run reads its payload only through the handles its check opened; a step used on its own,
  // outside a run, opens the file by its path.
  UniqueFile source(state.payload.checked()
                        ? state.payload.OpenForReading(fileName)
                        : UniqueFile(CreateFileW(sourcePath, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                 OPEN_EXISTING, 0, nullptr)));
  if (!source) return {kErrorCopyOpenSource, GetLastError(), L" Cant't open source file"};
  UniqueFile destination(OpenDestinationWithRetry(state, destinationPath));
  if (!destination) {
    return {kErrorCopyOpenDestination, GetLastError(), L" Cant't open destination file"};
  }
  CopyOutcome outcome = CopyContents(source.get(), destination.get());
  destination.reset();
  source.reset();
  return outcome;
}

}  // namespace

HRESULT CopyIntoDirectory(InstallState& state, const WCHAR* targetDir, const WCHAR* fileName,
                          WCHAR* destinationOut, bool reportErrors) {
  WString line;
  line.Format(L"CopyFile %s to %s)", fileName, targetDir);
  ++state.indent;

  WString sourcePath;
  WString destinationPath;
  CopyOutcome outcome;
  bool sourceJoined = JoinPath(sourcePath, state.moduleDir.Text(), fileName);
  bool destinationJoined = JoinPath(destinationPath, targetDir, fileName);
  if (destinationOut != nullptr) destinationOut[0] = 0;
  if (!destinationJoined) {
    outcome = {kErrorCopyOpenDestination, ERROR_NOT_ENOUGH_MEMORY,
               L" Cant't open destination file"};
  } else if (destinationOut != nullptr && destinationPath.Length() >= kDestinationPathUnits) {
    outcome = {kErrorCopyOpenDestination, ERROR_FILENAME_EXCED_RANGE,
               L" Cant't open destination file"};
  } else {
    if (destinationOut != nullptr) lstrcpyW(destinationOut, destinationPath.Text());
    if (state.moduleDir.Length() == 0) {
      // The package is only ever read from the installer's own directory: with that unknown,
      // a bare name would pick up whatever file of that name lies in the current directory.
      outcome = {kErrorCopyOpenSource, ERROR_PATH_NOT_FOUND, L" Cant't open source file"};
    } else if (!sourceJoined) {
      outcome = {kErrorCopyOpenSource, ERROR_NOT_ENOUGH_MEMORY, L" Cant't open source file"};
    } else {
      outcome = CopyFileOver(state, fileName, sourcePath.Text(), destinationPath.Text());
    }
  }

  line.Append(outcome.remark);
  line.Append(outcome.stage == 0 ? L"- OK" : L"- FAILED!");
  if (reportErrors && outcome.stage != 0) {
    SetLastError(outcome.error);  // the report names the error of the failed stage
    ReportError(state, outcome.stage, L"%s", line.Text());
  } else {
    LogLine(state, L"%s", line.Text());
  }
  --state.indent;
  return outcome.stage == 0 ? S_OK : E_FAIL;
}

HANDLE OpenDestinationWithRetry(InstallState& state, const WCHAR* path) {
  DWORD start = GetTickCount();
  for (int attempt = 1;; ++attempt) {
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    DWORD error = GetLastError();
    if (GetTickCount() - start > kOpenTimeLimitMilliseconds) {
      LogLine(state, L"CreateFile - timeout");
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
    if (attempt == kOpenAttempts) return INVALID_HANDLE_VALUE;
    Sleep(kOpenRetryMilliseconds);
  }
}
