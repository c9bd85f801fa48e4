// Output of the conformance probe and the steps several topics share.
#include "probe.h"

#include <winspool.h>

#include <stdarg.h>
#include <stdio.h>

namespace {
unsigned observations = 0;
}  // namespace

void Observe(const char* key, const char* format, ...) {
  char value[512];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(value, sizeof(value), format, arguments);
  va_end(arguments);
  printf("%s: %s\n", key, value);
  fflush(stdout);
  ++observations;
}

void ObserveCall(const char* key, BOOL succeeded) {
  if (succeeded) {
    Observe(key, "ok");
  } else {
    Observe(key, "fail %lu", static_cast<unsigned long>(GetLastError()));
  }
}

void ObserveStatus(const char* key, DWORD status) {
  if (status == ERROR_SUCCESS) {
    Observe(key, "ok");
  } else {
    Observe(key, "fail %lu", static_cast<unsigned long>(status));
  }
}

const char* Narrow(const WCHAR* text) {
  static char buffers[8][512];
  static int next = 0;
  char* out = buffers[next];
  next = (next + 1) % 8;
  if (text == nullptr) return "(null)";
  size_t i = 0;
  for (; text[i] != 0 && i + 1 < sizeof(buffers[0]); ++i) {
    out[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
  }
  out[i] = 0;
  return out;
}

unsigned ObservationCount() {
  return observations;
}

HANDLE OpenProbePrinter(const WCHAR* name, ACCESS_MASK access) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(name), &printer, &defaults)) return nullptr;
  return printer;
}

HANDLE AddProbePrinter(const WCHAR* name, const WCHAR* datatype) {
  PRINTER_INFO_2W info = {};
  info.pPrinterName = const_cast<LPWSTR>(name);
  info.pPortName = const_cast<LPWSTR>(PROBE_MONITOR);
  info.pDriverName = const_cast<LPWSTR>(PROBE_DRIVER);
  info.pPrintProcessor = const_cast<LPWSTR>(L"WinPrint");
  info.pDatatype = const_cast<LPWSTR>(datatype);
  info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
}

bool CopyProbeFile(const WCHAR* from, const WCHAR* to) {
  HANDLE source =
      CreateFileW(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (source == INVALID_HANDLE_VALUE) return false;
  HANDLE target = CreateFileW(to, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  bool copied = target != INVALID_HANDLE_VALUE;
  char bytes[4096];
  DWORD read = 0;
  while (copied && ReadFile(source, bytes, sizeof(bytes), &read, nullptr) && read != 0) {
    DWORD written = 0;
    copied = WriteFile(target, bytes, read, &written, nullptr) && written == read;
  }
  if (target != INVALID_HANDLE_VALUE) CloseHandle(target);
  CloseHandle(source);
  return copied;
}

namespace {

// Copies the file into the driver directory, where the spooler takes driver files from, and
// gives the path of the copy (which has the source's file name).
const WCHAR* StageDriverFile(const WCHAR* source, WCHAR* staged) {
  const WCHAR* name = source;
  for (const WCHAR* at = source; *at != 0; ++at) {
    if (*at == L'\\') name = at + 1;
  }
  lstrcpyW(staged, PROBE_DRIVER_DIRECTORY L"\\");
  lstrcatW(staged, name);
  CopyProbeFile(source, staged);
  return staged;
}

}  // namespace

BOOL AddProbeDriver(const WCHAR* name, const WCHAR* driverFile, DWORD copyFlags, bool withHelp) {
  WCHAR driver[MAX_PATH];
  WCHAR ui[MAX_PATH];
  WCHAR help[MAX_PATH];
  DRIVER_INFO_6W info = {};
  info.cVersion = 3;
  info.pName = const_cast<LPWSTR>(name);
  info.pEnvironment = const_cast<LPWSTR>(PROBE_ENVIRONMENT);
  info.pDriverPath = const_cast<LPWSTR>(StageDriverFile(driverFile, driver));
  info.pDataFile = info.pDriverPath;
  info.pConfigFile = const_cast<LPWSTR>(StageDriverFile(PROBE_DIR L"\\zqvui64.dll", ui));
  if (withHelp) {
    info.pHelpFile = const_cast<LPWSTR>(StageDriverFile(PROBE_DIR L"\\zqvhelp.chm", help));
  }
  return AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), copyFlags);
}

bool FileThere(const WCHAR* path) {
  return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

int RunConformanceProbe() {
  // Topics run in this order; a new topic file adds its function to probe.h and here.
  void (*const topics[])() = {
      ProbeServices,        ProbeMonitors,   ProbeDrivers,      ProbePrinters,  ProbePrinterData,
      ProbeDefaultPrinter,  ProbeJobs,       ProbeDriverFiles,  ProbeFiles,     ProbeRegistry,
      ProbeVersions,        ProbeDeviations, ProbeTrayContract, ProbeLogFolder, ProbeRunLock,
      ProbeUnusableWindows, ProbeSessions,
  };
  for (auto topic : topics) topic();
  ProbePayloadFolder();
  return 0;
}
