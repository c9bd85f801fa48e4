// Files: sharing between open handles, deleting a file that is open (with and without delete
// sharing), the usual errors of missing files, and boot-time operations with MoveFileExW.
#include "probe.h"

namespace {

HANDLE Open(const WCHAR* path, DWORD access, DWORD share, DWORD disposition) {
  return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void ObserveOpen(const char* key, HANDLE file) {
  ObserveCall(key, file != INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

void ObserveAttributes(const char* key, const WCHAR* path) {
  ObserveCall(key, GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES);
}

}  // namespace

void ProbeFiles() {
  const WCHAR* path = PROBE_DIR L"\\work.txt";
  const DWORD readWrite = GENERIC_READ | GENERIC_WRITE;
  const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE writer = Open(path, readWrite, FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_ALWAYS);
  Observe("file.create", "%s %lu", writer != INVALID_HANDLE_VALUE ? "ok" : "fail",
          Number(GetLastError()));
  if (writer == INVALID_HANDLE_VALUE) return;
  DWORD done = 0;
  ObserveCall("file.write", WriteFile(writer, "probe", 5, &done, nullptr) && done == 5);
  ObserveOpen("file.open_write_while_shared_read",
              Open(path, GENERIC_WRITE, shareAll, OPEN_EXISTING));
  ObserveOpen("file.open_read_without_write_sharing",
              Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING));
  HANDLE reader = Open(path, GENERIC_READ, shareAll, OPEN_EXISTING);
  ObserveCall("file.open_read_shared", reader != INVALID_HANDLE_VALUE);
  HANDLE again = Open(path, readWrite, shareAll, CREATE_NEW);
  ObserveCall("file.create_new_existing", again != INVALID_HANDLE_VALUE);
  if (again != INVALID_HANDLE_VALUE) CloseHandle(again);

  // Deleting while both handles allow it: the name stays until the last handle closes.
  ObserveCall("file.delete_open_shared", DeleteFileW(path));
  ObserveAttributes("file.attributes_delete_pending", path);
  ObserveOpen("file.open_delete_pending", Open(path, GENERIC_READ, shareAll, OPEN_EXISTING));
  char bytes[8] = {};
  if (reader != INVALID_HANDLE_VALUE) {
    BOOL read = ReadFile(reader, bytes, sizeof(bytes) - 1, &done, nullptr);
    Observe("file.read_delete_pending", "%s %lu [%s]", read ? "ok" : "fail", Number(done), bytes);
    CloseHandle(reader);
  }
  ObserveAttributes("file.attributes_one_handle_left", path);
  CloseHandle(writer);
  ObserveAttributes("file.attributes_all_closed", path);

  // Without delete sharing the file cannot be deleted while open.
  HANDLE held = Open(path, readWrite, FILE_SHARE_READ, CREATE_ALWAYS);
  ObserveCall("file.delete_open_unshared", DeleteFileW(path));
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  ObserveCall("file.delete_closed", DeleteFileW(path));
  ObserveCall("file.delete_missing", DeleteFileW(path));
  ObserveCall("file.delete_missing_folder", DeleteFileW(PROBE_DIR L"\\nodir\\work.txt"));
  ObserveOpen("file.open_missing", Open(path, GENERIC_READ, shareAll, OPEN_EXISTING));
  ObserveOpen("file.open_missing_folder",
              Open(PROBE_DIR L"\\nodir\\work.txt", GENERIC_READ, shareAll, OPEN_EXISTING));

  ObserveCall("move.delay_delete",
              MoveFileExW(PROBE_DIR L"\\gone.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ObserveCall("move.delay_rename",
              MoveFileExW(PROBE_DIR L"\\vextray.exe", PROBE_DIR L"\\vextray2.exe",
                          MOVEFILE_DELAY_UNTIL_REBOOT));
  HKEY key = nullptr;
  LSTATUS status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_QUERY_VALUE, &key);
  ObserveStatus("move.open_session_manager", status);
  if (status != ERROR_SUCCESS) return;
  DWORD type = 0;
  DWORD size = 0;
  status = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size);
  Observe("move.pending_value", "%lu type %lu size %lu", Number(status), Number(type),
          Number(size));
  RegCloseKey(key);
}
