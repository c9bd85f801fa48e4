// Runs every mode on each machine state of the simulated Windows and prints, per run, the
// virtual time it took against the sum of the waits the program's design mandates for that
// run (ratio 1.00: the program waits for nothing else), and the number of platform calls.
//
// The mandated sum comes from the scenario alone, from the waits the design names: the pause
// when the tray companion's Run value is missing, and the 200 ms polls of a spooler stop and
// start (this spooler takes 300 ms to stop and 500 ms to start). The constants are restated
// here on purpose: a change of the program's waits shows as a ratio other than 1.00.
//
// Then "serverinstall" over 10, 100 and 1,000 printers of ours, each with its own settings key,
// comment and location, as on a print server: the platform calls and simulated time per printer,
// what each printer more costs between two sizes, and the registry flushes (one per run). A print
// server's reinstall must cost the same per printer however many there are: the benchmark fails
// when a printer costs more calls between 100 and 1,000 than between 10 and 100.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <functional>
#include <map>
#include <string>

#include "resources/resource_ids.h"
#include "winsim/desktop.h"
#include "winsim/files.h"
#include "winsim/machine.h"
#include "winsim/processes.h"
#include "winsim/registry.h"
#include "winsim/services.h"
#include "winsim/spooler.h"
#include "winsim/tray_companion.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

namespace {

constexpr DWORD kNoRunValuePauseMs = 1000;
constexpr DWORD kSpoolerPollMs = 200;
constexpr DWORD kSpoolerStopMs = 300;
constexpr DWORD kSpoolerStartMs = 500;

constexpr char16_t kPackageDir[] = u"C:\\vexa\\drv\\";
constexpr char16_t kTrayPath[] = u"C:\\vexa\\vextray.exe";
constexpr char16_t kRunKeyPath[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// A wait polled every kSpoolerPollMs for a state change that takes `ms`.
DWORD PolledWait(DWORD ms) {
  return (ms + kSpoolerPollMs - 1) / kSpoolerPollMs * kSpoolerPollMs;
}

int Run(winsim::Machine& machine, const char* arguments) {
  std::u16string wide(arguments, arguments + strlen(arguments));
  machine.processes().SetArguments(wide);
  // A run that reports errors shows its log; the user closes it at once.
  machine.desktop().userActions.push_back(winsim::UserAction::Escape());
  int code = wWinMain(winsim::Processes::ProgramModule(), nullptr, nullptr, 1);
  machine.desktop().userActions.clear();
  return code;
}

// The package unpacked in C:\vexa, as the whole-run tests stage it, on a spooler that takes
// its time to stop and start.
void StagePackage(winsim::Machine& machine) {
  machine.desktop().dialogTemplates[IDD_LOG_WINDOW] = {
      u"", {{IDOK, u"Button", u"Close", true}, {IDC_LOG_TEXT, u"Edit", u""}}};
  for (const char16_t* name : {u"zqvmon64.dll", u"zqvdrv64.dll", u"zqvui64.dll"}) {
    std::u16string path = std::u16string(kPackageDir) + name;
    machine.files().AddFile(path, "stand-in");
    machine.files().SetProductVersion(path, {1, 0, 0, 2609});
  }
  machine.files().AddFile(std::u16string(kPackageDir) + u"zqvhelp.chm", "help");
  machine.files().AddDirectory(u"C:\\windows\\system32\\spool\\drivers\\x64\\3");
  machine.registry().CreateKey(HKEY_LOCAL_MACHINE, kRunKeyPath);
  winsim::TrayCompanion().InstallAt(machine, kTrayPath);
  winsim::Service& spooler = machine.services().Spooler();
  spooler.stopDelayMs = kSpoolerStopMs;
  spooler.startDelayMs = kSpoolerStartMs;
}

struct MachineState {
  const char* name;
  std::function<void(winsim::Machine&)> stage;
  bool monitorDllHeld;  // another process holds our monitor DLL in the system directory
  bool companionRuns;   // the companion runs and its Run value is there
};

const MachineState kStates[] = {
    {"clean", [](winsim::Machine&) {}, false, false},
    {"installed", [](winsim::Machine& m) { Run(m, "in_notray"); }, false, false},
    {"installed, printers with settings",
     [](winsim::Machine& m) {
       Run(m, "in_notray");
       winsim::SpoolerPrinter& a =
           m.spooler().AddPrinter(u"A", u"vexaWriter printer", u"vexaWriter:");
       a.comment = u"first floor";
       winsim::Spooler::SetStringData(a, "PrinterDriverData", "SubKey", "keyA");
       winsim::SpoolerPrinter& b =
           m.spooler().AddPrinter(u"B", u"vexaWriter printer", u"vexaWriter:");
       b.location = u"room 2";
       winsim::Spooler::SetStringData(b, "DsUser", "SubKey", "keyB");
       m.spooler().defaultPrinter = u"B";
     },
     false, false},
    {"files held",
     [](winsim::Machine& m) {
       Run(m, "in_notray");
       m.files().Hold(u"C:\\Windows\\system32\\zqvmon64.dll", "process", ERROR_ACCESS_DENIED);
     },
     true, false},
    {"companion running", [](winsim::Machine& m) { Run(m, "install"); }, false, true},
};

struct Mode {
  const char* arguments;
  bool stopsTray;          // asks the companion to quit and reads its Run value
  bool deletesMonitorDll;  // takes our monitor out (an install keeps one of a supported build)
};

const Mode kModes[] = {
    {"install", true, false},    {"in_notray", true, false}, {"uninstall", true, true},
    {"removetray", true, false}, {"onChkDrv", false, false}, {"onInit", false, false},
    {"def.set", false, false},   {"", false, false},
};

// The waits the design mandates: a missing Run value costs the pause (a running companion
// quits at once when asked); a monitor DLL still held after the uninstall's retries is tried
// once more with the spooler stopped, which costs one stop and one start, each polled. Driver
// files the spooler has loaded are the spooler's to delete at the next boot: no wait.
DWORD MandatedMs(const Mode& mode, const MachineState& state) {
  DWORD ms = 0;
  if (mode.stopsTray && !state.companionRuns) ms += kNoRunValuePauseMs;
  if (mode.deletesMonitorDll && state.monitorDllHeld) {
    ms += PolledWait(kSpoolerStopMs) + PolledWait(kSpoolerStartMs);
  }
  return ms;
}

unsigned TotalCalls(const winsim::Machine& machine) {
  unsigned total = 0;
  for (const auto& entry : machine.CallCounts()) total += entry.second;
  return total;
}

// An installation with `count` printers of ours, each with its own settings key, comment and
// location; the first is the default.
void StagePrintServer(winsim::Machine& machine, int count) {
  Run(machine, "in_notray");
  machine.spooler().DeletePrinter(machine.spooler().FindPrinter(u"vexaWriter"));
  for (int i = 0; i < count; ++i) {
    std::string n = std::to_string(i + 1);
    std::u16string wide(n.begin(), n.end());
    winsim::SpoolerPrinter& printer =
        machine.spooler().AddPrinter(u"vexaWriter " + wide, u"vexaWriter printer", u"vexaWriter:");
    printer.comment = u"queue " + wide;
    printer.location = u"floor " + wide;
    winsim::Spooler::SetStringData(printer, "PrinterDriverData", "SubKey", "key-" + n);
    winsim::Spooler::SetStringData(printer, "DsUser", "SubKey", "key-" + n);
  }
  machine.spooler().defaultPrinter = u"vexaWriter 1";
}

// Prints the scale rows; false when a printer costs more calls at the larger sizes.
bool RunPrintServers() {
  const int kCounts[] = {10, 100, 1000};
  double marginal[3] = {};
  unsigned previousCalls = 0;
  for (int i = 0; i < 3; ++i) {
    winsim::Machine machine;
    StagePackage(machine);
    StagePrintServer(machine, kCounts[i]);
    uint64_t startMs = machine.ElapsedMilliseconds();
    unsigned startCalls = TotalCalls(machine);
    int code = Run(machine, "serverinstall");
    uint64_t simulatedMs = machine.ElapsedMilliseconds() - startMs;
    unsigned calls = TotalCalls(machine) - startCalls;
    printf(
        "serverinstall with %4d printers exit %3d: %6u platform calls, %.1f per printer; %5llu "
        "ms simulated, %.1f per printer",
        kCounts[i], code, calls, static_cast<double>(calls) / kCounts[i],
        static_cast<unsigned long long>(simulatedMs),
        static_cast<double>(simulatedMs) / kCounts[i]);
    if (i > 0) {
      marginal[i] = static_cast<double>(calls - previousCalls) / (kCounts[i] - kCounts[i - 1]);
      printf("; each printer more: %.1f calls", marginal[i]);
    }
    // Each flush writes the whole SOFTWARE hive and holds back its writers: one per run.
    printf("; %u registry flushes\n", machine.registry().flushes);
    previousCalls = calls;
  }
  return marginal[2] <= marginal[1];
}

}  // namespace

int main() {
  for (const Mode& mode : kModes) {
    for (const MachineState& state : kStates) {
      winsim::Machine machine;
      StagePackage(machine);
      state.stage(machine);
      uint64_t startMs = machine.ElapsedMilliseconds();
      unsigned startCalls = TotalCalls(machine);
      int code = Run(machine, mode.arguments);
      uint64_t simulatedMs = machine.ElapsedMilliseconds() - startMs;
      unsigned calls = TotalCalls(machine) - startCalls;
      DWORD mandatedMs = MandatedMs(mode, state);
      char ratio[16];
      if (mandatedMs == 0) {
        snprintf(ratio, sizeof(ratio), "%s", simulatedMs == 0 ? "1.00" : "inf");
      } else {
        snprintf(ratio, sizeof(ratio), "%.2f", static_cast<double>(simulatedMs) / mandatedMs);
      }
      printf(
          "mode %-10s on %-33s exit %3d: %5llu ms simulated, %5lu ms mandated, ratio %s; "
          "%4u platform calls\n",
          mode.arguments[0] != 0 ? mode.arguments : "(none)", state.name, code,
          static_cast<unsigned long long>(simulatedMs), static_cast<unsigned long>(mandatedMs),
          ratio, calls);
    }
  }
  return RunPrintServers() ? 0 : 1;
}
