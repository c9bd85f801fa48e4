// Probe of the boot-time file operations on the real platform.
//
//   pending_renames_probe schedule PATH      MoveFileExW(PATH, no new name, delay until reboot)
//   pending_renames_probe rename FROM TO     MoveFileExW(FROM, TO, delay until reboot)
//   pending_renames_probe raw                the value's type, size and units, "\0" for each zero
//   pending_renames_probe table              the pending-rename table read from the value
//   pending_renames_probe sweep              the table after the sweep, every file counted ours
//   pending_renames_probe hold PATH [SECONDS]  opens PATH without delete sharing, prints "held"
//                                              and keeps it open for SECONDS, or until ended
//
// Table lines are "<flag> <stored string>", "-" standing for an entry without a string. Output is
// UTF-8 on standard output; the exit code is 0, or 1 when a call failed.
#include <windows.h>

#include "files/pending_renames.h"
#include "foundation/handles.h"

namespace {

void Write(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(lstrlenA(text)), &written,
            nullptr);
}

void WriteWide(const WCHAR* text, int length) {
  char buffer[4096];
  int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text, length, buffer, sizeof(buffer) - 1, nullptr, nullptr);
  buffer[bytes > 0 ? bytes : 0] = 0;
  Write(buffer);
}

void WriteNumber(unsigned long value) {
  char digits[16];
  int at = sizeof(digits) - 1;
  digits[at] = 0;
  do {
    digits[--at] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  Write(digits + at);
}

int Schedule(const WCHAR* from, const WCHAR* to) {
  if (MoveFileExW(from, to, MOVEFILE_DELAY_UNTIL_REBOOT)) return 0;
  Write("MoveFileExW failed: ");
  WriteNumber(GetLastError());
  Write("\n");
  return 1;
}

int Hold(const WCHAR* path, const WCHAR* seconds) {
  UniqueFile file(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) {
    Write("CreateFileW failed: ");
    WriteNumber(GetLastError());
    Write("\n");
    return 1;
  }
  Write("held\n");
  int remaining = -1;
  if (seconds != nullptr) {
    remaining = 0;
    for (const WCHAR* digit = seconds; *digit >= L'0' && *digit <= L'9'; ++digit) {
      remaining = remaining * 10 + (*digit - L'0');
    }
  }
  for (; remaining != 0; remaining -= remaining > 0 ? 1 : 0) Sleep(1000);
  return 0;
}

int PrintRaw() {
  UniqueRegistryKey key;
  LSTATUS status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_READ, key.put());
  DWORD type = 0;
  DWORD size = 0;
  if (status == ERROR_SUCCESS) {
    status =
        RegQueryValueExW(key.get(), L"PendingFileRenameOperations", nullptr, &type, nullptr, &size);
  }
  if (status != ERROR_SUCCESS) {
    Write("no value\n");
    return status == ERROR_FILE_NOT_FOUND ? 0 : 1;
  }
  UniqueGlobalBlock data(AllocateZeroedGlobal(size + sizeof(WCHAR)));
  if (!data || RegQueryValueExW(key.get(), L"PendingFileRenameOperations", nullptr, &type,
                                static_cast<BYTE*>(data.get()), &size) != ERROR_SUCCESS) {
    Write("read failed\n");
    return 1;
  }
  Write("type ");
  WriteNumber(type);
  Write(" bytes ");
  WriteNumber(size);
  Write("\n");
  const WCHAR* units = static_cast<const WCHAR*>(data.get());
  for (DWORD i = 0; i < size / sizeof(WCHAR); ++i) {
    if (units[i] == 0) {
      Write("\\0");
    } else {
      WriteWide(units + i, 1);
    }
  }
  Write("\n");
  return 0;
}

void PrintTable(const PendingRenameTable& table) {
  for (int entry = 0; entry < 2 * table.count; ++entry) {
    WriteNumber(static_cast<unsigned long>(table.isFile[entry]));
    Write(" ");
    if (table.paths[entry] == nullptr) {
      Write("-");
    } else {
      WriteWide(table.paths[entry], lstrlenW(table.paths[entry]));
    }
    Write("\n");
  }
}

}  // namespace

int wmain(int argc, WCHAR** argv) {
  if (argc == 3 && lstrcmpW(argv[1], L"schedule") == 0) return Schedule(argv[2], nullptr);
  if (argc == 4 && lstrcmpW(argv[1], L"rename") == 0) return Schedule(argv[2], argv[3]);
  if ((argc == 3 || argc == 4) && lstrcmpW(argv[1], L"hold") == 0) {
    return Hold(argv[2], argc == 4 ? argv[3] : nullptr);
  }
  if (argc == 2 && lstrcmpW(argv[1], L"raw") == 0) return PrintRaw();
  if (argc == 2 && (lstrcmpW(argv[1], L"table") == 0 || lstrcmpW(argv[1], L"sweep") == 0)) {
    PendingRenameTable table;
    ReadPendingRenames(table);
    if (lstrcmpW(argv[1], L"sweep") == 0) {
      // Every listed file counts as ours: the probe looks at the sweep's platform calls.
      const WCHAR* ours[64] = {};
      int count = 0;
      for (int p = 0; p < table.count && count < 64; ++p)
        if (table.paths[2 * p] != nullptr)
          ours[count++] = PathWithoutObjectPrefix(table.paths[2 * p]);
      SweepPendingRenames(table, ours, count);
    }
    PrintTable(table);
    return 0;
  }
  Write(
      "usage: pending_renames_probe schedule PATH | rename FROM TO | raw | table | sweep | hold "
      "PATH\n");
  return 2;
}
