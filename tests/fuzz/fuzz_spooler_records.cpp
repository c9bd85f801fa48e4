// Fuzz target: spooler records with empty, odd, over-long or null strings through the uninstall
// and re-creation steps that read them: the monitor list (ListMonitors, FindOurMonitor,
// LogMonitorList, RemovePortMonitor), the driver list (ListDrivers, FindOurDriver, DriverName,
// RemovePrinterDriver) and the printer snapshot (RemoveAllPrinters, RestorePrinters), on a
// fresh simulated machine per input.
//
// Input layout: the input is read as choices (fuzz_input.h): the number of monitors (0-3) and
// each one's name, DLL name and port; the number of drivers (0-2) and their names; the number
// of printers (0-3) and each one's name, driver, port, comment and location; then two bytes of
// null marks for the monitor records' strings (name, environment, DLL name: 3 bits each) and
// two for the printer records' (name, driver, port, comment: 4 bits each), applied to the
// lists as the installer holds them. Besides the sanitizers' findings, an input fails when a
// lookup answers out of range or a block or handle is left behind.
#include <windows.h>
#include <winspool.h>

#include "foundation/install_state.h"
#include "foundation/product.h"
#include "fuzz_input.h"
#include "spooler/driver_list.h"
#include "spooler/monitor_list.h"
#include "spooler/port_monitor_removal.h"
#include "spooler/printer_creation.h"
#include "spooler/printer_driver.h"
#include "spooler/printer_removal.h"
#include "state_lifecycle.h"
#include "winsim/files.h"
#include "winsim/spooler.h"

namespace {

const char kTarget[] = "fuzz_spooler_records";

void StageSpooler(winsim::Machine& machine, FuzzInput& input) {
  winsim::Spooler& spooler = machine.spooler();
  const winsim::WideText monitor = winsim::FromPtr(kMonitorName);
  const winsim::WideText driver = winsim::FromPtr(kDriverName);
  for (int n = input.Byte() % 4; n > 0; --n) {
    winsim::WideText name = input.Text({monitor, u"Local Port", u"vexaWriter: ", u"VEXAWRITER:"});
    winsim::WideText dll = input.Text({u"zqvmon64.dll", u"localspl.dll"});
    winsim::WideText port = input.Text({monitor, u"LPT1:", u"FILE:"});
    spooler.monitors.push_back({name, winsim::kNativeEnvironment, dll, {port}});
    if (!dll.empty() && dll.size() < 200) {
      machine.files().AddFile(winsim::Spooler::SystemDirectory() + u"\\" + dll);
    }
  }
  for (int n = input.Byte() % 3; n > 0; --n) {
    spooler.AddDriver(input.Text({driver, u"Generic / Text Only", u"vexaWriter printer "}));
  }
  for (int n = input.Byte() % 4; n > 0; --n) {
    winsim::WideText name = input.Text({u"vexaWriter", u"Office", u"vexaWriter (2)"});
    winsim::WideText printerDriver = input.Text({driver, u"Generic / Text Only"});
    winsim::WideText port = input.Text({monitor, u"LPT1:,vexaWriter:", u"FILE:", u"vexaWriter:,"});
    winsim::SpoolerPrinter& printer = spooler.AddPrinter(name, printerDriver, port);
    printer.comment = input.Text({u"", u"Comment"});
    printer.location = input.Text({u"", u"Hall"});
    winsim::Spooler::SetStringData(printer, "PrinterDriverData", "SubKey", "Settings");
  }
}

void NullMonitorStrings(MonitorList& list, unsigned marks) {
  auto* records = static_cast<MONITOR_INFO_2W*>(list.records.get());
  for (DWORD i = 0; i < list.count && i < 5; ++i, marks >>= 3) {
    if (marks & 1) records[i].pName = nullptr;
    if (marks & 2) records[i].pEnvironment = nullptr;
    if (marks & 4) records[i].pDLLName = nullptr;
  }
}

void NullPrinterStrings(PrinterSnapshot& snapshot, unsigned marks) {
  for (DWORD i = 0; i < snapshot.count && i < 4; ++i, marks >>= 4) {
    PRINTER_INFO_2W& record = snapshot.records[i];
    if (marks & 1) record.pPrinterName = nullptr;
    if (marks & 2) record.pDriverName = nullptr;
    if (marks & 4) record.pPortName = nullptr;
    if (marks & 8) record.pComment = nullptr;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  winsim::Machine machine;
  StageSpooler(machine, input);
  unsigned monitorMarks = input.Byte() | (input.Byte() << 8);
  unsigned printerMarks = input.Byte() | (input.Byte() << 8);
  {
    InstallState state;
    CreateInstallState(state, OptionX64);
    NullPrinterStrings(state.printers, printerMarks);
    MonitorList monitors = ListMonitors(state);
    NullMonitorStrings(monitors, monitorMarks);
    int ours = FindOurMonitor(monitors);
    if (ours < -1 || ours >= static_cast<int>(monitors.count)) FuzzFail(kTarget, "monitor index");
    LogMonitorList(state, monitors);
    DriverList drivers = ListDrivers(state.environment);
    int driver = FindOurDriver(drivers);
    if (driver < -1 || driver >= static_cast<int>(drivers.count)) FuzzFail(kTarget, "driver index");
    for (DWORD i = 0; i < drivers.count; ++i) DriverName(drivers, i);
    RemoveAllPrinters(state);
    RemovePrinterDriver(state, drivers);
    RemovePortMonitor(state, monitors);
    RestorePrinters(state);
    ReleaseInstallState(state);
  }
  CheckNothingLeft(kTarget, machine);
  return 0;
}
