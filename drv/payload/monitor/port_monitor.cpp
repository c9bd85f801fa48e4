// Stand-in port monitor: serves the one port "vexaWriter:". Jobs sent to it are accepted and
// discarded; at the end of each job the spooler is told the job went to the printer, so the
// queue empties as it would with the real output path.
#include <windows.h>
#include <winspool.h>

#include "monitor_interface.h"

namespace {

const WCHAR kPortName[] = L"vexaWriter:";
const WCHAR kMonitorName[] = L"vexaWriter:";
const WCHAR kPortDescription[] = L"vexaWriter output";

// What an open port handle points to; a job is in progress while printer is set.
struct Port {
  HANDLE printer;
  DWORD jobId;
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
  *handle = port;
  return TRUE;
}

BOOL WINAPI StartDocPort(HANDLE handle, LPWSTR printerName, DWORD jobId, DWORD, LPBYTE) {
  auto* port = static_cast<Port*>(handle);
  if (port == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Without the printer handle the job cannot be marked as sent; it is still accepted.
  if (port->printer == nullptr) OpenPrinterW(printerName, &port->printer, nullptr);
  port->jobId = jobId;
  return TRUE;
}

BOOL WINAPI WritePort(HANDLE handle, LPBYTE, DWORD bytes, LPDWORD written) {
  if (handle == nullptr || written == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *written = bytes;
  return TRUE;
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
