// The simulated spooler's state, its handles and the packing of records into caller buffers.
#include "winsim/spooler.h"
#include "winsim/processes.h"
#include "winsim/services.h"

#include <winspool.h>

#include <string.h>

#include <algorithm>

#include "spooler_internal.h"
#include "winsim/files.h"

namespace winsim {
namespace {
const char kSpoolerHolder[] = "spooler";
}  // namespace

const char16_t kNativeEnvironment[] = u"Windows x64";
const char16_t kX86Environment[] = u"Windows NT x86";

Spooler::Spooler() {
  // Every Windows has the local port monitor with its ports.
  AddMonitor(u"Local Port", u"localspl.dll", {u"LPT1:", u"COM1:", u"FILE:"});
}

const WideText& Spooler::SystemDirectory() {
  return Machine::Current().processes().systemDirectory;
}

bool Spooler::IsRunning() {
  bool serviceRunning = Machine::Current().services().IsRunning(u"spooler");
  if (serviceRunning != running_) serviceRunning ? Start() : Stop();
  return serviceRunning;
}

// Stop and Start keep the "spooler" service's state in step, so that a test may stop the
// spooler either way.
void Spooler::Stop() {
  if (Service* service = Machine::Current().services().Find(u"spooler")) {
    service->state = SERVICE_STOPPED;
  }
  if (!running_) return;
  running_ = false;
  ++generation_;
  loadedDrivers_.clear();
  Machine::Current().files().ReleaseHoldsOf(kSpoolerHolder);
}

void Spooler::Start() {
  if (Service* service = Machine::Current().services().Find(u"spooler")) {
    service->state = SERVICE_RUNNING;
  }
  if (running_) return;
  running_ = true;
  for (const SpoolerMonitor& monitor : monitors) LoadMonitor(monitor);
}

bool Spooler::MonitorDllPresent(const WideText& dllName) const {
  return Machine::Current().files().IsFile(SystemDirectory() + u"\\" + dllName);
}

WideText Spooler::MonitorDllPath(const SpoolerMonitor& monitor) const {
  return SystemDirectory() + u"\\" + monitor.dllName;
}

void Spooler::LoadMonitor(const SpoolerMonitor& monitor) {
  FileSystem& files = Machine::Current().files();
  WideText path = MonitorDllPath(monitor);
  if (files.IsFile(path) && !files.IsHeld(path)) files.HoldAsLoadedModule(path, kSpoolerHolder);
}

void Spooler::UnloadMonitor(const SpoolerMonitor& monitor) {
  FileSystem& files = Machine::Current().files();
  WideText path = MonitorDllPath(monitor);
  const FileSystem::Node* node = files.Find(path);
  if (node != nullptr && node->holder == kSpoolerHolder) files.ReleaseHold(path);
}

WideText Spooler::DriverFilePath(const SpoolerDriver& driver, const WideText& file) const {
  return DriverVersionDirectory(driver.environment) + u"\\" + file;
}

std::vector<WideText> SplitPortList(const WideText& ports) {
  std::vector<WideText> out;
  size_t start = 0;
  while (start <= ports.size()) {
    size_t comma = ports.find(u',', start);
    if (comma == WideText::npos) comma = ports.size();
    WideText port = ports.substr(start, comma - start);
    while (!port.empty() && port.front() == u' ') port.erase(port.begin());
    while (!port.empty() && port.back() == u' ') port.pop_back();
    if (!port.empty()) out.push_back(port);
    start = comma + 1;
  }
  return out;
}

WideText Spooler::CanonicalEnvironment(const WCHAR* environment) {
  WideText text = FromPtr(environment);
  if (text.empty() || EqualsIgnoringCase(text, kNativeEnvironment)) return kNativeEnvironment;
  if (EqualsIgnoringCase(text, kX86Environment)) return kX86Environment;
  return WideText();
}

WideText Spooler::DriverDirectory(const WideText& environment) const {
  if (environment == kNativeEnvironment) return driverDirectory;
  if (environment == kX86Environment) {
    return driverDirectory.substr(0, driverDirectory.rfind(u'\\') + 1) + u"W32X86";
  }
  return WideText();
}

WideText Spooler::DriverVersionDirectory(const WideText& environment) const {
  WideText directory = DriverDirectory(environment);
  return directory.empty() ? directory : directory + u"\\3";
}

SpoolerMonitor* Spooler::FindMonitor(const WideText& name) {
  for (SpoolerMonitor& monitor : monitors) {
    if (EqualsIgnoringCase(monitor.name, name)) return &monitor;
  }
  return nullptr;
}

SpoolerMonitor* Spooler::FindPortMonitor(const WideText& port) {
  for (SpoolerMonitor& monitor : monitors) {
    for (const WideText& served : monitor.ports) {
      if (EqualsIgnoringCase(served, port)) return &monitor;
    }
  }
  return nullptr;
}

SpoolerDriver* Spooler::FindDriver(const WideText& name, const WideText& environment) {
  for (SpoolerDriver& driver : drivers) {
    if (EqualsIgnoringCase(driver.name, name) && driver.environment == environment) return &driver;
  }
  return nullptr;
}

std::shared_ptr<SpoolerPrinter> Spooler::FindPrinter(const WideText& name) {
  for (const auto& printer : printers) {
    if (EqualsIgnoringCase(printer->name, name)) return printer;
  }
  return nullptr;
}

bool Spooler::IsPendingDeletion(const SpoolerPrinter& printer) {
  return (printer.status & PRINTER_STATUS_PENDING_DELETION) != 0;
}

void Spooler::DeletePrinter(const std::shared_ptr<SpoolerPrinter>& printer) {
  printer->status |= PRINTER_STATUS_PENDING_DELETION;
  if (EqualsIgnoringCase(defaultPrinter, printer->name)) {
    defaultPrinter.clear();
    for (const auto& other : printers) {
      if (!IsPendingDeletion(*other)) {
        defaultPrinter = other->name;
        break;
      }
    }
  }
  // Without queued jobs the printer goes at once; handles still open on it then fail.
  if (printer->jobs == 0) RemovePrinter(printer);
}

void Spooler::RemovePrinter(const std::shared_ptr<SpoolerPrinter>& printer) {
  printer->deleted = true;
  printers.erase(std::remove(printers.begin(), printers.end(), printer), printers.end());
}

void Spooler::FinishPendingDeletion(const std::shared_ptr<SpoolerPrinter>& printer) {
  if (printer->deleted || !IsPendingDeletion(*printer) || printer->jobs != 0 ||
      printer->openHandles != 0) {
    return;
  }
  RemovePrinter(printer);
}

void Spooler::CompleteJobs(const WideText& printerName) {
  if (std::shared_ptr<SpoolerPrinter> printer = FindPrinter(printerName)) {
    printer->jobs = 0;
    FinishPendingDeletion(printer);
  }
}

bool Spooler::HasPrintProcessor(const WideText& name) const {
  for (const WideText& processor : printProcessors) {
    if (EqualsIgnoringCase(processor, name)) return true;
  }
  return false;
}

SpoolerPrinter& Spooler::AddPrinter(const WideText& name, const WideText& driver,
                                    const WideText& port) {
  auto printer = std::make_shared<SpoolerPrinter>();
  printer->name = name;
  printer->driver = driver;
  printer->port = port;
  printers.push_back(printer);
  return *printer;
}

SpoolerPrinter& Spooler::AddConnection(const WideText& server, const WideText& printer,
                                       const WideText& driver, const WideText& port) {
  SpoolerPrinter& connection = AddPrinter(server + u"\\" + printer, driver, port);
  connection.serverName = server;
  connection.shareName = printer;
  connection.attributes = PRINTER_ATTRIBUTE_NETWORK | PRINTER_ATTRIBUTE_SHARED;
  return connection;
}

SpoolerDriver& Spooler::AddDriver(const WideText& name, const WideText& environment) {
  SpoolerDriver driver;
  driver.name = name;
  driver.environment = environment;
  driver.driverFile = u"unidrv.dll";
  driver.dataFile = u"unidrv.gpd";
  driver.configFile = u"unidrvui.dll";
  drivers.push_back(driver);
  return drivers.back();
}

SpoolerMonitor& Spooler::AddMonitor(const WideText& name, const WideText& dllName,
                                    std::vector<WideText> ports) {
  SpoolerMonitor monitor;
  monitor.name = name;
  monitor.environment = kNativeEnvironment;
  monitor.dllName = dllName;
  monitor.ports = std::move(ports);
  monitors.push_back(monitor);
  return monitors.back();
}

void Spooler::SetData(SpoolerPrinter& printer, const std::string& key, const std::string& value,
                      DWORD type, const std::vector<BYTE>& bytes) {
  PrinterDataValue& stored = printer.data[FoldAnsi(key.c_str())][FoldAnsi(value.c_str())];
  stored.type = type;
  stored.bytes = bytes;
}

void Spooler::SetStringData(SpoolerPrinter& printer, const std::string& key,
                            const std::string& value, const std::string& text) {
  std::vector<BYTE> bytes(text.begin(), text.end());
  bytes.push_back(0);
  SetData(printer, key, value, 1 /* REG_SZ */, bytes);
}

void Spooler::LoadDriver(const WideText& name, const WideText& environment) {
  loadedDrivers_.emplace_back(name, environment);
  SpoolerDriver* driver = FindDriver(name, environment);
  if (driver == nullptr) return;
  FileSystem& files = Machine::Current().files();
  for (const WideText* file : {&driver->driverFile, &driver->dataFile, &driver->configFile}) {
    WideText path = DriverFilePath(*driver, *file);
    if (files.IsFile(path) && !files.IsHeld(path)) files.HoldAsLoadedModule(path, kSpoolerHolder);
  }
}

void Spooler::LoadDriverUi(const SpoolerDriver& driver) {
  FileSystem& files = Machine::Current().files();
  WideText path = DriverFilePath(driver, driver.configFile);
  if (files.IsFile(path)) files.HoldAsLoadedModule(path, kSpoolerHolder);
}

bool Spooler::IsHeldBySpooler(const WideText& path) const {
  const FileSystem::Node* node = Machine::Current().files().Find(path);
  return node != nullptr && node->holder == kSpoolerHolder;
}

bool Spooler::IsDriverLoaded(const SpoolerDriver& driver) const {
  for (const auto& loaded : loadedDrivers_) {
    if (EqualsIgnoringCase(loaded.first, driver.name) && loaded.second == driver.environment) {
      return true;
    }
  }
  return false;
}

void Spooler::UnloadDriver(const SpoolerDriver& driver) {
  loadedDrivers_.erase(std::remove_if(loadedDrivers_.begin(), loadedDrivers_.end(),
                                      [&](const std::pair<WideText, WideText>& loaded) {
                                        return EqualsIgnoringCase(loaded.first, driver.name) &&
                                               loaded.second == driver.environment;
                                      }),
                       loadedDrivers_.end());
  FileSystem& files = Machine::Current().files();
  for (const WideText* file : {&driver.driverFile, &driver.dataFile, &driver.configFile}) {
    WideText path = DriverFilePath(driver, *file);
    const FileSystem::Node* node = files.Find(path);
    if (node != nullptr && node->holder == kSpoolerHolder) files.ReleaseHold(path);
  }
}

bool SpoolerAvailable() {
  if (Machine::Current().spooler().IsRunning()) return true;
  Machine::Current().lastError = RPC_S_SERVER_UNAVAILABLE;
  return false;
}

DWORD ResolvePrinterHandle(HANDLE handle, PrinterHandleObject** object) {
  Machine& machine = Machine::Current();
  if (!machine.spooler().IsRunning()) return RPC_S_SERVER_UNAVAILABLE;
  auto found = machine.LookupHandle<PrinterHandleObject>(handle, HandleKind::Printer);
  if (found == nullptr || found->generation != machine.spooler().Generation()) {
    return ERROR_INVALID_HANDLE;
  }
  // The platform looks the printer up by the handle's name; a deleted one is not found.
  if (found->printer != nullptr &&
      (found->printer->deleted || Spooler::IsPendingDeletion(*found->printer))) {
    return ERROR_INVALID_PRINTER_NAME;
  }
  *object = found.get();
  return ERROR_SUCCESS;
}

DWORD ResolvePrinter(HANDLE handle, ACCESS_MASK required, PrinterHandleObject** object) {
  if (DWORD error = ResolvePrinterHandle(handle, object)) return error;
  if ((*object)->printer == nullptr) return ERROR_INVALID_HANDLE;
  if (((*object)->access & required) != required) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

StringPacker::StringPacker(BYTE* buffer, DWORD size) : end_(buffer + (size & ~1u)) {}

LPWSTR StringPacker::Reserve(size_t units) {
  bytes_ += units * sizeof(WCHAR);
  if (end_ == nullptr) return nullptr;
  end_ -= units * sizeof(WCHAR);
  return reinterpret_cast<LPWSTR>(end_);
}

LPWSTR StringPacker::Put(const WideText& text) {
  LPWSTR out = Reserve(text.size() + 1);
  if (out != nullptr) memcpy(out, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  return out;
}

LPWSTR StringPacker::PutOptional(const WideText& text) {
  return text.empty() ? nullptr : Put(text);
}

LPWSTR StringPacker::PutList(const std::vector<WideText>& texts) {
  if (texts.empty()) return nullptr;
  WideText joined;
  for (const WideText& text : texts) {
    joined += text;
    joined.push_back(0);
  }
  LPWSTR out = Reserve(joined.size() + 1);
  if (out != nullptr) {
    memcpy(out, joined.data(), joined.size() * sizeof(WCHAR));
    out[joined.size()] = 0;
  }
  return out;
}

BOOL ReturnRecords(size_t count, size_t recordSize, const RecordMarshal& marshal, LPBYTE buffer,
                   DWORD bufferSize, LPDWORD needed, LPDWORD returned) {
  StringPacker measure;
  for (size_t i = 0; i < count; ++i) marshal(i, nullptr, measure);
  size_t total = count * recordSize + measure.Bytes();
  *needed = static_cast<DWORD>(total);
  if (returned != nullptr) *returned = 0;
  if (total > bufferSize || (total > 0 && buffer == nullptr)) {
    Machine::Current().lastError = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  StringPacker strings(buffer, bufferSize);
  for (size_t i = 0; i < count; ++i) {
    void* record = buffer + i * recordSize;
    memset(record, 0, recordSize);
    marshal(i, record, strings);
  }
  if (returned != nullptr) *returned = static_cast<DWORD>(count);
  PoisonLastError();
  return TRUE;
}

bool CheckEnumerationArguments(LPBYTE buffer, DWORD bufferSize, LPDWORD needed, LPDWORD returned) {
  if (needed == nullptr || returned == nullptr) {
    Machine::Current().lastError = RPC_X_NULL_REF_POINTER;
    return false;
  }
  if (buffer == nullptr && bufferSize != 0) {
    Machine::Current().lastError = ERROR_INVALID_USER_BUFFER;
    return false;
  }
  return true;
}

std::string FoldAnsi(const char* text) {
  std::string out = text == nullptr ? std::string() : std::string(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace winsim

using winsim::Machine;

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  Machine& machine = Machine::Current();
  auto object =
      machine.LookupHandle<winsim::PrinterHandleObject>(hPrinter, winsim::HandleKind::Printer);
  // The client side lets go of the handle even when the spooler has stopped meanwhile.
  if (!machine.RemoveHandle(hPrinter, winsim::HandleKind::Printer)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (object->printer != nullptr) {
    // A document left open ends with its handle.
    winsim::EndDocument(*object);
    --object->printer->openHandles;
    machine.spooler().FinishPendingDeletion(object->printer);
  }
  winsim::PoisonLastError();
  return TRUE;
}
