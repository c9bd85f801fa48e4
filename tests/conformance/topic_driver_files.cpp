// Driver files while a printer uses the driver: the configuration DLL the spooler loads, an
// upgrade over held files, the copy flags with an older source, deleting a driver or monitor in
// use, and the delete flags when another driver shares a file.
#include "probe.h"

#include <winspool.h>

#include <stdlib.h>

namespace {

// "a.b.c.d" of the installed driver file's file version, or "none".
void ObserveInstalledVersion(const char* key) {
  const WCHAR* path = PROBE_DRIVER_FILES L"\\zqvdrv64.dll";
  DWORD unused = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &unused);
  void* block = size != 0 ? malloc(size) : nullptr;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT bytes = 0;
  if (block != nullptr && GetFileVersionInfoW(path, 0, size, block) &&
      VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&fixed), &bytes) && fixed != nullptr) {
    Observe(key, "%lu.%lu.%lu.%lu", Number(fixed->dwFileVersionMS >> 16),
            Number(fixed->dwFileVersionMS & 0xFFFF), Number(fixed->dwFileVersionLS >> 16),
            Number(fixed->dwFileVersionLS & 0xFFFF));
  } else {
    Observe(key, "none");
  }
  free(block);
}

void ObserveDriverFiles(const char* key) {
  Observe(key, "drv %d ui %d help %d", FileThere(PROBE_DRIVER_FILES L"\\zqvdrv64.dll"),
          FileThere(PROBE_DRIVER_FILES L"\\zqvui64.dll"),
          FileThere(PROBE_DRIVER_FILES L"\\zqvhelp.chm"));
}

BOOL DeleteDriver(const WCHAR* name, DWORD flags) {
  return DeletePrinterDriverExW(nullptr, const_cast<LPWSTR>(PROBE_ENVIRONMENT),
                                const_cast<LPWSTR>(name), flags, 0);
}

}  // namespace

void ProbeDriverFiles() {
  HANDLE printer = AddProbePrinter(PROBE_PRINTER_A, L"RAW");
  ObserveCall("dfile.add_printer", printer != nullptr);
  if (printer == nullptr) return;
  ClosePrinter(printer);
  const WCHAR* ui = PROBE_DRIVER_FILES L"\\zqvui64.dll";
  ObserveCall("dfile.ui_delete_loaded", DeleteFileW(ui));
  HANDLE file = CreateFileW(ui, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ObserveCall("dfile.ui_open_write_loaded", file != INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);

  ObserveCall("dfile.upgrade_over_loaded",
              AddProbeDriver(PROBE_DRIVER, PROBE_DIR L"\\zqvdrv64.dll", APD_COPY_ALL_FILES));
  ObserveInstalledVersion("dfile.version_installed");
  ObserveCall("dfile.older_new_files",
              AddProbeDriver(PROBE_DRIVER, PROBE_DIR L"\\old\\zqvdrv64.dll", APD_COPY_NEW_FILES));
  ObserveInstalledVersion("dfile.version_after_new_files");
  ObserveCall("dfile.older_all_files",
              AddProbeDriver(PROBE_DRIVER, PROBE_DIR L"\\old\\zqvdrv64.dll", APD_COPY_ALL_FILES));
  ObserveInstalledVersion("dfile.version_after_all_files");
  AddProbeDriver(PROBE_DRIVER, PROBE_DIR L"\\zqvdrv64.dll", APD_COPY_ALL_FILES);

  // Deleting what the printer uses; the platforms that allow it get it back.
  ObserveCall("dfile.delete_driver_in_use", DeleteDriver(PROBE_DRIVER, 0));
  AddProbeDriver(PROBE_DRIVER, PROBE_DIR L"\\zqvdrv64.dll", APD_COPY_ALL_FILES);
  ObserveCall("dfile.delete_monitor_in_use",
              DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(PROBE_MONITOR)));
  MONITOR_INFO_2W monitor = {const_cast<LPWSTR>(PROBE_MONITOR),
                             const_cast<LPWSTR>(PROBE_ENVIRONMENT),
                             const_cast<LPWSTR>(L"zqvmon64.dll")};
  AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&monitor));

  printer = OpenProbePrinter(PROBE_PRINTER_A, PRINTER_ALL_ACCESS);
  ObserveCall("dfile.delete_printer", printer != nullptr && DeletePrinter(printer));
  if (printer != nullptr) ClosePrinter(printer);

  // A second driver shares the driver and configuration files, not the help file.
  ObserveCall(
      "dfile.add_sharing_driver",
      AddProbeDriver(PROBE_DRIVER_2, PROBE_DIR L"\\zqvdrv64.dll", APD_COPY_ALL_FILES, false));
  ObserveCall("dfile.delete_all_files_shared", DeleteDriver(PROBE_DRIVER, DPD_DELETE_ALL_FILES));
  ObserveCall("dfile.delete_unused_files_shared",
              DeleteDriver(PROBE_DRIVER, DPD_DELETE_UNUSED_FILES));
  ObserveDriverFiles("dfile.files_after_unused");
  DeleteDriver(PROBE_DRIVER, 0);
  ObserveCall("dfile.delete_without_flags", DeleteDriver(PROBE_DRIVER_2, 0));
  ObserveDriverFiles("dfile.files_after_no_flags");
  ObserveCall("dfile.delete_monitor",
              DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(PROBE_MONITOR)));
  WCHAR path[MAX_PATH];
  GetSystemDirectoryW(path, MAX_PATH);
  lstrcatW(path, L"\\zqvmon64.dll");
  ObserveCall("dfile.monitor_dll_delete_unloaded", DeleteFileW(path));
}
