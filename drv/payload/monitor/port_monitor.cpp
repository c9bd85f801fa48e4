// Stand-in port monitor: serves the one port "vexaWriter:". Each job sent to it (the bytes
// written between StartDocPort and EndDocPort) lands in its own file,
// %ProgramData%\vexaWriter\jobs\job-NNNN.prn, numbered from 0001 by the first free name, so
// a user finds what was printed. At the end of each job the spooler is told the job went to the
// printer, so the queue empties as it would with the real output path.
#include <windows.h>
#include <winspool.h>

#include "monitor_interface.h"

namespace {

const WCHAR kPortName[] = L"vexaWriter:";
const WCHAR kMonitorName[] = L"vexaWriter:";
const WCHAR kPortDescription[] = L"vexaWriter output";

const WCHAR kJobFolderBelowData[] = L"\\vexaWriter\\jobs";
const WCHAR kDefaultDataFolder[] = L"C:\\ProgramData";
constexpr DWORD kMaxJobNumber = 9999;

// What an open port handle points to; a job is in progress while file is open.
struct Port {
  HANDLE printer;
  DWORD jobId;
  HANDLE file;
};

DWORD TextBytes(const WCHAR* text) {
  return static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR));
}

// Records go at the start of the buffer and their strings at its end, as the spooler's own
// enumerations lay them out; returns where the copied string starts.
WCHAR* PackString(LPBYTE& stringEnd, const WCHAR* text) {
  stringEnd -= TextBytes(text);
  lstrcpyW(reinterpret_cast<WCHAR*>(stringEnd), text);
  return reinterpret_cast<WCHAR*>(stringEnd);
}

// Writes the four decimal digits of number (at most 9999) at out.
void PutJobNumber(WCHAR* out, DWORD number) {
  for (int digit = 3; digit >= 0; --digit) {
    out[digit] = static_cast<WCHAR>(L'0' + number % 10);
    number /= 10;
  }
}

// Makes the job folder (and the vexaWriter folder above it) when missing and creates the next
// free job file in it. The spooler may run jobs of several printing processes at once, so a
// name is taken only by CREATE_NEW; one taken meanwhile moves on to the next number.
HANDLE CreateJobFile() {
  WCHAR path[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"ProgramData", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) lstrcpyW(path, kDefaultDataFolder);
  const int kTail = lstrlenW(L"\\job-0000.prn");
  if (lstrlenW(path) + lstrlenW(kJobFolderBelowData) + kTail >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  WCHAR* folderEnd = path + lstrlenW(path);
  lstrcpyW(folderEnd, L"\\vexaWriter");
  CreateDirectoryW(path, nullptr);
  lstrcpyW(folderEnd, kJobFolderBelowData);
  CreateDirectoryW(path, nullptr);
  WCHAR* name = path + lstrlenW(path);
  lstrcpyW(name, L"\\job-0000.prn");
  for (DWORD number = 1; number <= kMaxJobNumber; ++number) {
    PutJobNumber(name + 5, number);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return INVALID_HANDLE_VALUE;
}

BOOL WINAPI EnumPorts(HANDLE, LPWSTR, DWORD level, LPBYTE ports, DWORD bufferBytes,
                      LPDWORD neededBytes, LPDWORD returned) {
  if (neededBytes == nullptr || returned == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *returned = 0;
  DWORD needed;
  if (level == 1) {
    needed = sizeof(PORT_INFO_1W) + TextBytes(kPortName);
  } else if (level == 2) {
    needed = sizeof(PORT_INFO_2W) + TextBytes(kPortName) + TextBytes(kMonitorName) +
             TextBytes(kPortDescription);
  } else {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  *neededBytes = needed;
  if (ports == nullptr || bufferBytes < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  LPBYTE stringEnd = ports + needed;
  if (level == 1) {
    auto* info = reinterpret_cast<PORT_INFO_1W*>(ports);
    info->pName = PackString(stringEnd, kPortName);
  } else {
    auto* info = reinterpret_cast<PORT_INFO_2W*>(ports);
    info->pPortName = PackString(stringEnd, kPortName);
    info->pMonitorName = PackString(stringEnd, kMonitorName);
    info->pDescription = PackString(stringEnd, kPortDescription);
    info->fPortType = PORT_TYPE_WRITE;
    info->Reserved = 0;
  }
  *returned = 1;
  return TRUE;
}

BOOL WINAPI OpenPort(HANDLE, LPWSTR name, PHANDLE handle) {
  if (name == nullptr || handle == nullptr || lstrcmpiW(name, kPortName) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* port = static_cast<Port*>(GlobalAlloc(GPTR, sizeof(Port)));
  if (port == nullptr) return FALSE;
  port->file = INVALID_HANDLE_VALUE;
  *handle = port;
  return TRUE;
}

BOOL WINAPI StartDocPort(HANDLE handle, LPWSTR printerName, DWORD jobId, DWORD, LPBYTE) {
  auto* port = static_cast<Port*>(handle);
  if (port == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (port->file == INVALID_HANDLE_VALUE) {
    port->file = CreateJobFile();
    if (port->file == INVALID_HANDLE_VALUE) return FALSE;
  }
  // Without the printer handle the job cannot be marked as sent; it is still accepted.
  if (port->printer == nullptr) OpenPrinterW(printerName, &port->printer, nullptr);
  port->jobId = jobId;
  return TRUE;
}

BOOL WINAPI WritePort(HANDLE handle, LPBYTE bytes, DWORD count, LPDWORD written) {
  auto* port = static_cast<Port*>(handle);
  if (port == nullptr || written == nullptr || (bytes == nullptr && count != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *written = 0;
  if (port->file == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);  // no StartDocPort, or it failed
    return FALSE;
  }
  return WriteFile(port->file, bytes, count, written, nullptr);
}

void CloseJobFile(Port* port) {
  if (port->file == INVALID_HANDLE_VALUE) return;
  CloseHandle(port->file);
  port->file = INVALID_HANDLE_VALUE;
}

BOOL WINAPI ReadPort(HANDLE, LPBYTE, DWORD, LPDWORD read) {
  if (read != nullptr) *read = 0;
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL WINAPI EndDocPort(HANDLE handle) {
  auto* port = static_cast<Port*>(handle);
  if (port == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  CloseJobFile(port);
  if (port->printer != nullptr) {
    SetJobW(port->printer, port->jobId, 0, nullptr, JOB_CONTROL_SENT_TO_PRINTER);
    ClosePrinter(port->printer);
    port->printer = nullptr;
  }
  return TRUE;
}

BOOL WINAPI ClosePort(HANDLE handle) {
  auto* port = static_cast<Port*>(handle);
  if (port == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  CloseJobFile(port);
  if (port->printer != nullptr) ClosePrinter(port->printer);
  GlobalFree(port);
  return TRUE;
}

void WINAPI Shutdown(HANDLE) {}

MONITOR2 g_monitor = {
    sizeof(MONITOR2), EnumPorts, OpenPort,
    nullptr,  // OpenPortEx: only language monitors offer it
    StartDocPort,     WritePort, ReadPort, EndDocPort, ClosePort,
    nullptr,  // AddPort, AddPortEx, ConfigurePort, DeletePort: the one port is fixed
    nullptr,          nullptr,   nullptr,
    nullptr,  // GetPrinterDataFromPort
    nullptr,  // SetPortTimeOuts
    nullptr,  // XcvOpenPort, XcvDataPort, XcvClosePort: no port configuration
    nullptr,          nullptr,   Shutdown,
    nullptr,  // SendRecvBidiDataFromPort, NotifyUsedPorts, NotifyUnusedPorts, PowerEvent
    nullptr,          nullptr,   nullptr,
};

// The monitor keeps no state of its own beyond the fixed port; its handle only has to be
// non-null for the spooler.
int g_monitorHandleTarget;

}  // namespace

extern "C" __declspec(dllexport) MONITOR2* WINAPI
    InitializePrintMonitor2(MONITORINIT* init, PHANDLE monitor) {
  if (init == nullptr || monitor == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  *monitor = &g_monitorHandleTarget;
  return &g_monitor;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
