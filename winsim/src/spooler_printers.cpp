// Printers: EnumPrintersW, OpenPrinterW, GetPrinterW, SetPrinterW, AddPrinterW and
// DeletePrinter. Names of printers, ports, drivers and print processors are compared without
// letter case, as the spooler does.
#include <winspool.h>

#include "spooler_internal.h"

using winsim::Machine;
using winsim::PrinterHandleObject;
using winsim::Spooler;
using winsim::SpoolerPrinter;
using winsim::StringPacker;
using winsim::WideText;

namespace {

size_t PrinterRecordSize(DWORD level) {
  switch (level) {
    case 1:
      return sizeof(PRINTER_INFO_1W);
    case 2:
      return sizeof(PRINTER_INFO_2W);
    case 4:
      return sizeof(PRINTER_INFO_4W);
  }
  return 0;
}

void MarshalPrinter(const SpoolerPrinter& printer, DWORD level, void* record,
                    StringPacker& strings) {
  if (level == 1) {
    LPWSTR description =
        strings.Put(printer.name + u"," + printer.driver + u"," + printer.location);
    LPWSTR name = strings.Put(printer.name);
    LPWSTR comment = strings.Put(printer.comment);
    if (record != nullptr) {
      auto* info = static_cast<PRINTER_INFO_1W*>(record);
      info->Flags = 0x00800000;  // PRINTER_ENUM_ICON8: a printer
      info->pDescription = description;
      info->pName = name;
      info->pComment = comment;
    }
    return;
  }
  if (level == 4) {
    LPWSTR name = strings.Put(printer.name);
    LPWSTR server = strings.PutOptional(printer.serverName);
    if (record != nullptr) {
      auto* info = static_cast<PRINTER_INFO_4W*>(record);
      info->pPrinterName = name;
      info->pServerName = server;  // null for a printer of this machine
      info->Attributes = printer.attributes;
    }
    return;
  }
  LPWSTR server = strings.PutOptional(printer.serverName);
  LPWSTR name = strings.Put(printer.name);
  LPWSTR share = strings.Put(printer.shareName);
  LPWSTR port = strings.Put(printer.port);
  LPWSTR driver = strings.Put(printer.driver);
  LPWSTR comment = strings.Put(printer.comment);
  LPWSTR location = strings.Put(printer.location);
  LPWSTR sepFile = strings.Put(printer.sepFile);
  LPWSTR processor = strings.Put(printer.printProcessor);
  LPWSTR datatype = strings.Put(printer.datatype);
  LPWSTR parameters = strings.Put(printer.parameters);
  if (record == nullptr) return;
  auto* info = static_cast<PRINTER_INFO_2W*>(record);
  info->pServerName = server;  // null for a printer of this machine
  info->pPrinterName = name;
  info->pShareName = share;
  info->pPortName = port;
  info->pDriverName = driver;
  info->pComment = comment;
  info->pLocation = location;
  info->pDevMode = nullptr;  // the simulation keeps no device modes
  info->pSepFile = sepFile;
  info->pPrintProcessor = processor;
  info->pDatatype = datatype;
  info->pParameters = parameters;
  info->pSecurityDescriptor = nullptr;
  info->Attributes = printer.attributes;
  info->Priority = printer.priority;
  info->DefaultPriority = printer.defaultPriority;
  info->StartTime = printer.startTime;
  info->UntilTime = printer.untilTime;
  info->Status = printer.status;
  info->cJobs = printer.jobs;
  info->AveragePPM = 0;
}

bool IsLocalServer(const WCHAR* name) {
  return name == nullptr || name[0] == 0;
}

bool IsValidPrinterName(const WideText& name) {
  return !name.empty() && name.find_first_of(u",!\\") == WideText::npos;
}

// "\\server\printer": the name of a connection, which OpenPrinterW accepts.
bool IsConnectionName(const WideText& name) {
  size_t separator = name.find(u'\\', 2);
  return name.size() > 2 && name[0] == u'\\' && name[1] == u'\\' && separator != WideText::npos &&
         separator > 2 && separator + 1 < name.size();
}

bool IsConnection(const SpoolerPrinter& printer) {
  return !printer.serverName.empty();
}

bool IsEmpty(const WCHAR* text) {
  return text == nullptr || text[0] == 0;
}

// The checks a printer's description must pass before it is added or changed; 0 when it does.
DWORD CheckPrinterInfo(Spooler& spooler, const PRINTER_INFO_2W& info) {
  WideText name = winsim::FromPtr(info.pPrinterName);
  if (!IsValidPrinterName(name)) return ERROR_INVALID_PRINTER_NAME;
  if (IsEmpty(info.pPortName) || IsEmpty(info.pDriverName)) return ERROR_INVALID_PARAMETER;
  if (spooler.FindDriver(winsim::FromPtr(info.pDriverName), winsim::kNativeEnvironment) ==
      nullptr) {
    return ERROR_UNKNOWN_PRINTER_DRIVER;
  }
  std::vector<WideText> ports = winsim::SplitPortList(winsim::FromPtr(info.pPortName));
  if (ports.empty()) return ERROR_UNKNOWN_PORT;
  for (const WideText& port : ports) {
    if (spooler.FindPortMonitor(port) == nullptr) return ERROR_UNKNOWN_PORT;
  }
  if (IsEmpty(info.pPrintProcessor) ||
      !spooler.HasPrintProcessor(winsim::FromPtr(info.pPrintProcessor))) {
    return ERROR_UNKNOWN_PRINTPROCESSOR;
  }
  // A null data type means the print processor's default.
  if (!IsEmpty(info.pDatatype) &&
      !winsim::EqualsIgnoringCase(winsim::FromPtr(info.pDatatype), u"RAW")) {
    return ERROR_INVALID_DATATYPE;
  }
  return ERROR_SUCCESS;
}

// The default-printer mark is not a stored attribute: the user's default is kept apart.
void StorePrinterInfo(SpoolerPrinter& printer, const PRINTER_INFO_2W& info) {
  printer.name = winsim::FromPtr(info.pPrinterName);
  printer.shareName = winsim::FromPtr(info.pShareName);
  printer.port = winsim::FromPtr(info.pPortName);
  printer.driver = winsim::FromPtr(info.pDriverName);
  printer.comment = winsim::FromPtr(info.pComment);
  printer.location = winsim::FromPtr(info.pLocation);
  printer.sepFile = winsim::FromPtr(info.pSepFile);
  printer.printProcessor = winsim::FromPtr(info.pPrintProcessor);
  printer.datatype = IsEmpty(info.pDatatype) ? WideText(u"RAW") : winsim::FromPtr(info.pDatatype);
  printer.parameters = winsim::FromPtr(info.pParameters);
  printer.attributes = (info.Attributes & ~PRINTER_ATTRIBUTE_DEFAULT) | PRINTER_ATTRIBUTE_LOCAL;
  printer.priority = info.Priority;
  printer.defaultPriority = info.DefaultPriority;
  printer.startTime = info.StartTime;
  printer.untilTime = info.UntilTime;
}

HANDLE AddPrinterHandle(std::shared_ptr<SpoolerPrinter> printer, ACCESS_MASK access) {
  auto object = std::make_shared<PrinterHandleObject>();
  if (printer != nullptr) ++printer->openHandles;
  object->printer = std::move(printer);
  object->access = access;
  object->generation = Machine::Current().spooler().Generation();
  return Machine::Current().AddHandle(winsim::HandleKind::Printer, object);
}

}  // namespace

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!winsim::SpoolerAvailable()) return FALSE;
  if (!winsim::CheckEnumerationArguments(pPrinterEnum, cbBuf, pcbNeeded, pcReturned)) return FALSE;
  if (PrinterRecordSize(Level) == 0) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  // The printers of this machine, its user's connections, or both, in the spooler's order; other
  // accounts' connections are theirs to list.
  bool local = (Flags & PRINTER_ENUM_LOCAL) != 0 ||
               ((Flags & PRINTER_ENUM_NAME) != 0 && IsLocalServer(Name));
  bool connections = (Flags & PRINTER_ENUM_CONNECTIONS) != 0;
  Spooler& spooler = Machine::Current().spooler();
  std::vector<const SpoolerPrinter*> listed;
  for (const auto& printer : spooler.printers) {
    if (printer->otherAccount) continue;
    if (IsConnection(*printer) ? connections : local) listed.push_back(printer.get());
  }
  auto marshal = [&](size_t index, void* record, StringPacker& strings) {
    MarshalPrinter(*listed[index], Level, record, strings);
  };
  return winsim::ReturnRecords(listed.size(), PrinterRecordSize(Level), marshal, pPrinterEnum,
                               cbBuf, pcbNeeded, pcReturned);
}

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!winsim::SpoolerAvailable()) return FALSE;
  if (phPrinter == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Spooler& spooler = Machine::Current().spooler();
  // Without defaults, or without an access request, a printer is opened for use.
  ACCESS_MASK access = pDefault != nullptr ? pDefault->DesiredAccess : 0;
  if (access == 0) access = PRINTER_ACCESS_USE;
  const ACCESS_MASK adminRights =
      PRINTER_ACCESS_ADMINISTER | SERVER_ACCESS_ADMINISTER | DELETE | 0x00040000L | 0x00080000L;
  if ((access & adminRights) != 0 && !spooler.callerIsAdministrator) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (IsLocalServer(pPrinterName)) {
    *phPrinter = AddPrinterHandle(nullptr, access);  // the local print server
    winsim::PoisonLastError();
    return TRUE;
  }
  WideText name = winsim::FromPtr(pPrinterName);
  if (!IsValidPrinterName(name) && !IsConnectionName(name)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  // A connection opens the print server's printer.
  std::shared_ptr<SpoolerPrinter> printer = spooler.FindPrinter(name);
  if (printer == nullptr || Spooler::IsPendingDeletion(*printer)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  if (pDefault != nullptr && !IsEmpty(pDefault->pDatatype) &&
      !winsim::EqualsIgnoringCase(winsim::FromPtr(pDefault->pDatatype), u"RAW")) {
    SetLastError(ERROR_INVALID_DATATYPE);
    return FALSE;
  }
  *phPrinter = AddPrinterHandle(printer, access);
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                        LPDWORD pcbNeeded) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  PrinterHandleObject* handle = nullptr;
  if (DWORD error = winsim::ResolvePrinterHandle(hPrinter, &handle)) {
    SetLastError(error);
    return FALSE;
  }
  if (pcbNeeded == nullptr) {
    SetLastError(RPC_X_NULL_REF_POINTER);
    return FALSE;
  }
  if (pPrinter == nullptr && cbBuf != 0) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (PrinterRecordSize(Level) == 0) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (handle->printer == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto marshal = [&](size_t, void* record, StringPacker& strings) {
    MarshalPrinter(*handle->printer, Level, record, strings);
  };
  return winsim::ReturnRecords(1, PrinterRecordSize(Level), marshal, pPrinter, cbBuf, pcbNeeded,
                               nullptr);
}

BOOL WINAPI SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  PrinterHandleObject* handle = nullptr;
  if (DWORD error = winsim::ResolvePrinter(hPrinter, PRINTER_ACCESS_ADMINISTER, &handle)) {
    SetLastError(error);
    return FALSE;
  }
  SpoolerPrinter& printer = *handle->printer;
  Spooler& spooler = Machine::Current().spooler();
  if (Level == 0) {
    switch (Command) {
      case PRINTER_CONTROL_PAUSE:
        printer.status |= PRINTER_STATUS_PAUSED;
        break;
      case PRINTER_CONTROL_RESUME:
        printer.status &= ~static_cast<DWORD>(PRINTER_STATUS_PAUSED);
        break;
      case PRINTER_CONTROL_PURGE:
        printer.jobs = 0;
        break;
      default:
        SetLastError(ERROR_INVALID_PRINTER_COMMAND);
        return FALSE;
    }
    winsim::PoisonLastError();
    return TRUE;
  }
  if (Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (Command != 0) {
    SetLastError(ERROR_INVALID_PRINTER_COMMAND);
    return FALSE;
  }
  auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(pPrinter);
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (IsConnection(printer)) {
    // The description goes to the print server, which checks it against its own drivers and
    // ports; the printer keeps its name there, and stays a connection here.
    WideText name = printer.name;
    DWORD attributes = printer.attributes;
    StorePrinterInfo(printer, *info);
    printer.name = name;
    printer.attributes = attributes;
    winsim::PoisonLastError();
    return TRUE;
  }
  if (DWORD error = CheckPrinterInfo(spooler, *info)) {
    SetLastError(error);
    return FALSE;
  }
  std::shared_ptr<SpoolerPrinter> other = spooler.FindPrinter(winsim::FromPtr(info->pPrinterName));
  if (other != nullptr && other.get() != &printer) {
    SetLastError(ERROR_PRINTER_ALREADY_EXISTS);
    return FALSE;
  }
  bool wasDefault = winsim::EqualsIgnoringCase(spooler.defaultPrinter, printer.name);
  StorePrinterInfo(printer, *info);
  if (wasDefault) spooler.defaultPrinter = printer.name;  // a renamed default stays the default
  winsim::PoisonLastError();
  return TRUE;
}

HANDLE WINAPI AddPrinterW(LPWSTR pName, DWORD Level, LPBYTE pPrinter) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  if (!winsim::SpoolerAvailable()) return nullptr;
  if (!IsLocalServer(pName)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  if (Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return nullptr;
  }
  auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(pPrinter);
  if (info == nullptr) {
    SetLastError(RPC_X_NULL_REF_POINTER);
    return nullptr;
  }
  Spooler& spooler = Machine::Current().spooler();
  if (spooler.onAddPrinter) spooler.onAddPrinter(*info);
  if (!spooler.callerIsAdministrator) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (DWORD error = CheckPrinterInfo(spooler, *info)) {
    SetLastError(error);
    return nullptr;
  }
  if (spooler.FindPrinter(winsim::FromPtr(info->pPrinterName)) != nullptr) {
    SetLastError(ERROR_PRINTER_ALREADY_EXISTS);
    return nullptr;
  }
  auto printer = std::make_shared<SpoolerPrinter>();
  StorePrinterInfo(*printer, *info);
  spooler.printers.push_back(printer);
  if (const winsim::SpoolerDriver* driver =
          spooler.FindDriver(printer->driver, winsim::kNativeEnvironment)) {
    spooler.LoadDriverUi(*driver);
  }
  HANDLE handle = AddPrinterHandle(printer, PRINTER_ALL_ACCESS);
  winsim::PoisonLastError();
  return handle;
}

BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  Machine& machine = Machine::Current();
  auto object = machine.LookupHandle<PrinterHandleObject>(hPrinter, winsim::HandleKind::Printer);
  // Deleting a printer that is already deleted (through another handle) changes nothing.
  if (object != nullptr && object->printer != nullptr && machine.spooler().IsRunning() &&
      object->generation == machine.spooler().Generation() &&
      (object->printer->deleted || Spooler::IsPendingDeletion(*object->printer))) {
    winsim::PoisonLastError();
    return TRUE;
  }
  PrinterHandleObject* handle = nullptr;
  if (DWORD error = winsim::ResolvePrinter(hPrinter, DELETE, &handle)) {
    SetLastError(error);
    return FALSE;
  }
  machine.spooler().DeletePrinter(handle->printer);
  winsim::PoisonLastError();
  return TRUE;
}
