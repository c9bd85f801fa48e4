// Simulated print spooler: port monitors with their ports, printer drivers per environment with
// their files in the driver directory, printers with their printer data, and the default printer.
//
// Tests stage the spooler by editing these records directly (or through the helpers below) and
// read the outcome back from them. The spooler calls of <winspool.h> act on the same records and
// hand them out in the platform's layout: an array of records followed by the strings they
// point into, all inside the caller's buffer. While the service is stopped every spooler call
// fails with RPC_S_SERVER_UNAVAILABLE, and handles opened before a stop no longer work.
#pragma once

#include <winspool.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "winsim/machine.h"
#include "winsim/text.h"

namespace winsim {

// The environment of the simulated machine's own processor (a 64-bit Windows).
extern const char16_t kNativeEnvironment[];  // "Windows x64"
extern const char16_t kX86Environment[];     // "Windows NT x86"

struct SpoolerMonitor {
  WideText name;
  WideText environment;
  WideText dllName;  // bare file name, in the system directory
  std::vector<WideText> ports;
};

struct SpoolerDriver {
  WideText name;
  WideText environment;
  DWORD version = 3;
  // Bare file names; the files live in the environment's version-3 driver directory.
  WideText driverFile;
  WideText dataFile;
  WideText configFile;
  WideText helpFile;  // empty: none
  std::vector<WideText> dependentFiles;
  WideText monitorName;
  WideText defaultDataType;
  std::vector<WideText> previousNames;
  FILETIME driverDate = {0, 0};
  DWORDLONG driverVersion = 0;
  WideText manufacturer;
  WideText oemUrl;
  WideText hardwareId;
  WideText provider;
};

// One printer-data value, its bytes exactly as the 8-bit calls wrote them.
struct PrinterDataValue {
  DWORD type = 0;
  std::vector<BYTE> bytes;
};

// A printer of this machine, or a connection of the user's to a print server's printer: then
// its name is "\\server\printer", serverName "\\server", and its attributes carry
// PRINTER_ATTRIBUTE_NETWORK instead of PRINTER_ATTRIBUTE_LOCAL. A connection's queue, port and
// settings are the server's: changing or deleting it through its handle acts on the server
// (the simulation drops the connection with the server's printer), and no monitor of this
// machine serves its port. Its driver is this machine's copy, which it keeps in use.
struct SpoolerPrinter {
  WideText name;
  WideText serverName;  // empty for a printer of this machine
  WideText shareName;
  WideText port;
  WideText driver;
  WideText comment;
  WideText location;
  WideText sepFile;
  WideText printProcessor = u"WinPrint";
  WideText datatype = u"RAW";
  WideText parameters;
  DWORD attributes = 0x00000040;  // PRINTER_ATTRIBUTE_LOCAL
  DWORD priority = 1;
  DWORD defaultPriority = 0;
  DWORD startTime = 0;
  DWORD untilTime = 0;
  DWORD status = 0;
  DWORD jobs = 0;
  // Printer data by key and value name, both kept in ASCII lower case (the spooler compares
  // them without letter case). The plain calls use the key "PrinterDriverData".
  std::map<std::string, std::map<std::string, PrinterDataValue>> data;
  // Set once the printer is deleted; handles still open on it then fail with
  // ERROR_INVALID_PRINTER_NAME. A printer deleted while it has queued jobs is only marked
  // (PRINTER_STATUS_PENDING_DELETION): it can no longer be opened by name or become the
  // default, and goes once its jobs are done and its last handle is closed.
  bool deleted = false;
  unsigned openHandles = 0;
  // A connection another account made: the spooler lists it to that account only (the running
  // program never sees it), yet it keeps this machine's copy of its driver in use all the same.
  bool otherAccount = false;
};

class Spooler {
 public:
  Spooler();

  // Service state, driven by the service manager. Stopping unloads every monitor and driver
  // (releasing the files they hold) and invalidates open printer handles; starting loads the
  // monitors again.
  // Follows the "spooler" service of the service manager, so that a test may stage the
  // service's state directly.
  bool IsRunning();
  void Stop();
  void Start();
  // Counts stops, so that handles opened before one can be told apart.
  unsigned Generation() const { return generation_; }

  // The printer-driver directory of an environment, without a trailing backslash, and the
  // version-3 subdirectory where installed driver files live. Empty for an unknown environment.
  WideText DriverDirectory(const WideText& environment) const;
  WideText DriverVersionDirectory(const WideText& environment) const;
  // "Windows x64" for null or empty text, the canonical spelling of a known environment
  // (compared without letter case), or empty when the environment is unknown.
  static WideText CanonicalEnvironment(const WCHAR* environment);

  SpoolerMonitor* FindMonitor(const WideText& name);
  // The monitor that serves a port (compared without letter case), or null.
  SpoolerMonitor* FindPortMonitor(const WideText& port);
  SpoolerDriver* FindDriver(const WideText& name, const WideText& environment);
  std::shared_ptr<SpoolerPrinter> FindPrinter(const WideText& name);
  bool HasPrintProcessor(const WideText& name) const;

  // Monitors are loaded from their DLL in the system directory; a loaded monitor holds its DLL
  // (holder "spooler") until it is deleted or the spooler stops. A DLL that the file system does
  // not hold (the built-in local port monitor's) is taken as part of the system.
  bool MonitorDllPresent(const WideText& dllName) const;
  void LoadMonitor(const SpoolerMonitor& monitor);
  void UnloadMonitor(const SpoolerMonitor& monitor);
  WideText MonitorDllPath(const SpoolerMonitor& monitor) const;
  // Full path of one of a driver's files.
  WideText DriverFilePath(const SpoolerDriver& driver, const WideText& file) const;

  // What DeletePrinter does: removes the printer, or only marks it while it has queued jobs.
  // The default printer, when deleted, passes to the first printer that is not going.
  void DeletePrinter(const std::shared_ptr<SpoolerPrinter>& printer);
  // Removes a marked printer once it has neither queued jobs nor open handles.
  void FinishPendingDeletion(const std::shared_ptr<SpoolerPrinter>& printer);
  // Printing is not simulated: a job leaves the queue when its document ends; a test ends a
  // printer's staged jobs with this.
  void CompleteJobs(const WideText& printerName);
  static bool IsPendingDeletion(const SpoolerPrinter& printer);

  // Staging helpers for tests.
  SpoolerPrinter& AddPrinter(const WideText& name, const WideText& driver, const WideText& port);
  // A connection to the printer `printer` shared by `server` ("\\server"), as the user made it.
  SpoolerPrinter& AddConnection(const WideText& server, const WideText& printer,
                                const WideText& driver, const WideText& port);
  SpoolerDriver& AddDriver(const WideText& name, const WideText& environment = kNativeEnvironment);
  SpoolerMonitor& AddMonitor(const WideText& name, const WideText& dllName,
                             std::vector<WideText> ports);
  static void SetData(SpoolerPrinter& printer, const std::string& key, const std::string& value,
                      DWORD type, const std::vector<BYTE>& bytes);
  static void SetStringData(SpoolerPrinter& printer, const std::string& key,
                            const std::string& value, const std::string& text);
  // Marks a driver as loaded by the running spooler, as printing does: its files are held and
  // the driver cannot be deleted until the spooler stops.
  void LoadDriver(const WideText& name, const WideText& environment = kNativeEnvironment);
  bool IsDriverLoaded(const SpoolerDriver& driver) const;
  // What adding a printer does: the spooler loads the driver's configuration DLL, and keeps it
  // loaded (the file held) until it stops.
  void LoadDriverUi(const SpoolerDriver& driver);
  // True for a file the spooler holds because it has loaded it.
  bool IsHeldBySpooler(const WideText& path) const;
  void UnloadDriver(const SpoolerDriver& driver);

  // Where the spooler loads monitor DLLs from: the machine's system directory.
  static const WideText& SystemDirectory();
  // What GetPrinterDriverDirectoryW reports for "Windows x64" (no trailing backslash, as the
  // platform gives it); the x86 directory is its sibling "W32X86".
  WideText driverDirectory = u"C:\\windows\\system32\\spool\\drivers\\x64";
  std::vector<SpoolerMonitor> monitors;
  std::vector<SpoolerDriver> drivers;
  std::vector<std::shared_ptr<SpoolerPrinter>> printers;
  std::vector<WideText> printProcessors = {u"WinPrint"};
  // The id of the last job started; each new job takes the next.
  DWORD lastJobId = 0;
  // The user's default printer; empty when there is none.
  WideText defaultPrinter;
  // The installer runs elevated; a test can take administrator rights away.
  bool callerIsAdministrator = true;
  // Sees each description AddPrinterW receives, before it is checked, so that a test can tell
  // what a program passed (a null text from an empty one) beyond what the spooler stores.
  std::function<void(const PRINTER_INFO_2W&)> onAddPrinter;

 private:
  void RemovePrinter(const std::shared_ptr<SpoolerPrinter>& printer);

  bool running_ = true;
  unsigned generation_ = 0;
  std::vector<std::pair<WideText, WideText>> loadedDrivers_;  // name, environment
};

// The ports of a printer's port text ("LPT1:,FILE:"), without blanks around them.
std::vector<WideText> SplitPortList(const WideText& ports);

}  // namespace winsim
