// The payload as the install's check holds it: a file open for reading and shared only for
// reading can be neither deleted, written nor renamed, and a handle made from it by ReOpenFile
// reads it from its start; a folder open without delete sharing cannot be renamed.
#include <string.h>

#include "probe.h"

namespace {

void ObserveFailure(const char* key, BOOL succeeded) {
  DWORD error = GetLastError();
  if (succeeded) {
    Observe(key, "ok");
  } else {
    Observe(key, "fail %lu", Number(error));
  }
}

}  // namespace

void ProbePayloadFolder() {
  const WCHAR* help = PROBE_DIR L"\\zqvhelp.chm";
  HANDLE file = CreateFileW(help, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  ObserveCall("payload.file_open", file != INVALID_HANDLE_VALUE);
  if (file == INVALID_HANDLE_VALUE) return;
  char first[4] = {};
  char again[4] = {};
  DWORD read = 0;
  ReadFile(file, first, sizeof(first), &read, nullptr);
  HANDLE copy = ReOpenFile(file, GENERIC_READ, FILE_SHARE_READ, 0);
  ObserveCall("payload.reopen", copy != INVALID_HANDLE_VALUE);
  if (copy != INVALID_HANDLE_VALUE) {
    BOOL reread = ReadFile(copy, again, sizeof(again), &read, nullptr);
    Observe(
        "payload.reopen_reads_from_start", "%s",
        reread && read == sizeof(again) && memcmp(first, again, sizeof(first)) == 0 ? "yes" : "no");
    CloseHandle(copy);
  }
  ObserveFailure("payload.delete_while_held", DeleteFileW(help));
  HANDLE writer =
      CreateFileW(help, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  ObserveFailure("payload.write_while_held", writer != INVALID_HANDLE_VALUE);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  BOOL moved = MoveFileExW(help, PROBE_DIR L"\\moved.chm", 0);
  ObserveFailure("payload.rename_while_held", moved);
  if (moved) MoveFileExW(PROBE_DIR L"\\moved.chm", help, 0);
  CloseHandle(file);

  const WCHAR* held = PROBE_DIR L"\\held";
  CreateDirectoryW(held, nullptr);
  HANDLE folder = CreateFileW(held, FILE_READ_ATTRIBUTES | READ_CONTROL,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  ObserveCall("payload.folder_open", folder != INVALID_HANDLE_VALUE);
  if (folder == INVALID_HANDLE_VALUE) return;
  moved = MoveFileExW(held, PROBE_DIR L"\\moved", 0);
  ObserveFailure("payload.folder_rename_while_held", moved);
  if (moved) MoveFileExW(PROBE_DIR L"\\moved", held, 0);
  CloseHandle(folder);
}
