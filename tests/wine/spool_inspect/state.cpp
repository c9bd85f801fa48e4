// The "state" verb: one line per fact, fields separated by "|", in a fixed order, so that a check
// compares whole lines:
//   forwarder|1                      the loaded winspool.drv is the test forwarder (else 0)
//   monitor|NAME|DLL                 each port monitor (EnumMonitorsW level 2)
//   driver|NAME|DRIVER|CONFIG|HELP   each "Windows x64" driver (EnumPrinterDriversW level 3)
//   printer|NAME|PORT|DRIVER|COMMENT|LOCATION|DATATYPE|SUBKEY|DSUSER
//                                    each printer in the spooler's order; the two SubKey printer
//                                    data values, or "?" when the printer cannot be opened
//   default|NAME                     the default printer (ordinal 203), empty when none
//   run|VALUE                        the HKLM Run value "vexaWriterTray", "-" when absent
//   tray|mutex=0/1|window=0/1        the companion's mutex and window exist
//   usermark|SUBKEY|deleted=0/1      each per-user settings key and its "deleted" value
#include <windows.h>
#include <winspool.h>

#include "spool_tool.h"

namespace spool_tool {
namespace {

void Field(const WCHAR* text) {
  Print(L"|");
  Print(text != nullptr ? text : L"");
}

void PrintForwarder() {
  using MarkerFn = DWORD(WINAPI*)();
  HMODULE spooler = GetModuleHandleW(L"winspool.drv");
  auto marker = reinterpret_cast<MarkerFn>(reinterpret_cast<void*>(
      spooler != nullptr ? GetProcAddress(spooler, "VexaForwarderMarker") : nullptr));
  PrintLine(marker != nullptr && marker() == 0x56584657 ? L"forwarder|1" : L"forwarder|0");
}

void PrintMonitors() {
  Block block;
  DWORD needed = 0;
  if (!EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &block.count) &&
      GetLastError() == ERROR_INSUFFICIENT_BUFFER && block.Allocate(needed) &&
      EnumMonitorsW(nullptr, 2, block.data, needed, &needed, &block.count)) {
    const auto* monitors = reinterpret_cast<const MONITOR_INFO_2W*>(block.data);
    for (DWORD i = 0; i < block.count; ++i) {
      Print(L"monitor");
      Field(monitors[i].pName);
      Field(monitors[i].pDLLName);
      PrintLine(L"");
    }
  }
}

void PrintDrivers() {
  Block block;
  DWORD needed = 0;
  WCHAR environment[] = L"Windows x64";
  if (!EnumPrinterDriversW(nullptr, environment, 3, nullptr, 0, &needed, &block.count) &&
      GetLastError() == ERROR_INSUFFICIENT_BUFFER && block.Allocate(needed) &&
      EnumPrinterDriversW(nullptr, environment, 3, block.data, needed, &needed, &block.count)) {
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_3W*>(block.data);
    for (DWORD i = 0; i < block.count; ++i) {
      Print(L"driver");
      Field(drivers[i].pName);
      Field(drivers[i].pDriverPath);
      Field(drivers[i].pConfigFile);
      Field(drivers[i].pHelpFile);
      PrintLine(L"");
    }
  }
}

// Printer data read as 8-bit text, shown as wide text.
void SubKeyField(HANDLE printer, const char* key) {
  char value[260] = {};
  DWORD type = 0;
  DWORD needed = 0;
  DWORD result =
      key == nullptr
          ? GetPrinterDataA(printer, const_cast<char*>("SubKey"), &type,
                            reinterpret_cast<BYTE*>(value), sizeof(value) - 1, &needed)
          : GetPrinterDataExA(printer, key, "SubKey", &type, reinterpret_cast<BYTE*>(value),
                              sizeof(value) - 1, &needed);
  WCHAR wide[260] = {};
  if (result == ERROR_SUCCESS && type == REG_SZ) {
    MultiByteToWideChar(CP_ACP, 0, value, -1, wide, 259);
  }
  Field(wide);
}

void PrintPrinters() {
  Block block;
  if (!EnumPrinters2(block)) return;
  const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(block.data);
  for (DWORD i = 0; i < block.count; ++i) {
    const PRINTER_INFO_2W& printer = printers[i];
    Print(L"printer");
    Field(printer.pPrinterName);
    Field(printer.pPortName);
    Field(printer.pDriverName);
    Field(printer.pComment);
    Field(printer.pLocation);
    Field(printer.pDatatype);
    HANDLE handle = nullptr;
    if (OpenPrinterW(printer.pPrinterName, &handle, nullptr)) {
      SubKeyField(handle, nullptr);
      SubKeyField(handle, "DsUser");
      ClosePrinter(handle);
    } else {
      Field(L"?");
      Field(L"?");
    }
    PrintLine(L"");
  }
}

void PrintDefault() {
  WCHAR name[260] = {};
  if (!DefaultPrinter(name, 260)) name[0] = 0;
  Print(L"default");
  Field(name);
  PrintLine(L"");
}

void PrintRunValue() {
  WCHAR value[264] = {};
  DWORD size = sizeof(value) - sizeof(WCHAR);
  HKEY key = nullptr;
  bool found = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, &key) == ERROR_SUCCESS &&
               RegQueryValueExW(key, kRunValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                                &size) == ERROR_SUCCESS;
  if (key != nullptr) RegCloseKey(key);
  Print(L"run");
  Field(found ? value : L"-");
  PrintLine(L"");
}

void PrintTray() {
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kMutexName);
  if (mutex != nullptr) CloseHandle(mutex);
  bool window = FindWindowW(kTrayClass, nullptr) != nullptr;
  Print(mutex != nullptr ? L"tray|mutex=1" : L"tray|mutex=0");
  PrintLine(window ? L"|window=1" : L"|window=0");
}

void PrintUserMarks() {
  HKEY keys = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kUserKeys, 0, KEY_READ, &keys) != ERROR_SUCCESS) return;
  WCHAR name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    if (RegEnumKeyExW(keys, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    HKEY key = nullptr;
    bool deleted =
        RegOpenKeyExW(keys, name, 0, KEY_READ, &key) == ERROR_SUCCESS &&
        RegQueryValueExW(key, L"deleted", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    if (key != nullptr) RegCloseKey(key);
    Print(L"usermark");
    Field(name);
    PrintLine(deleted ? L"|deleted=1" : L"|deleted=0");
  }
  RegCloseKey(keys);
}

}  // namespace

bool PrintState(int, WCHAR**) {
  PrintForwarder();
  PrintMonitors();
  PrintDrivers();
  PrintPrinters();
  PrintDefault();
  PrintRunValue();
  PrintTray();
  PrintUserMarks();
  return true;
}

}  // namespace spool_tool
