// Fixture of the whole-run tests: the package unpacked in C:\vexa (the installer in drv\, the
// tray companion beside drv\), the spooler's driver directory in place, and helpers that run a
// mode with Shift held, so that every run's log is shown and read back.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "entry/entry_fixture.h"
#include "winsim/files.h"
#include "winsim/mutexes.h"
#include "winsim/registry.h"
#include "winsim/services.h"
#include "winsim/spooler.h"
#include "winsim/tray_companion.h"

using winsim::WideText;

constexpr char16_t kPackageDir[] = u"C:\\vexa\\drv\\";
constexpr char16_t kTrayPath[] = u"C:\\vexa\\vextray.exe";
constexpr char16_t kInstallerPath[] = u"C:\\vexa\\drv\\zqvinst64.exe";
constexpr char16_t kSystemMonitorDll[] = u"C:\\Windows\\system32\\zqvmon64.dll";
constexpr char16_t kRunKeyPath[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class SequenceTest : public EntryTest {
 protected:
  SequenceTest() { StagePackage(); }
  // The package and the spooler's directory on a fresh machine, ready for a first run.
  void StartOver() {
    ReplaceMachine();
    StageLogWindow();
    StagePackage();
  }
  void StagePackage() {
    for (const char16_t* name : {u"zqvmon64.dll", u"zqvdrv64.dll", u"zqvui64.dll"}) {
      WideText path = WideText(kPackageDir) + name;
      files().AddFile(path, "stand-in of " + Utf8(name));
      files().SetProductVersion(path, {1, 0, 0, 2609});
    }
    files().AddFile(WideText(kPackageDir) + u"zqvhelp.chm", "help");
    files().AddDirectory(u"C:\\windows\\system32\\spool\\drivers\\x64\\3");
    machine().registry().CreateKey(HKEY_LOCAL_MACHINE, kRunKeyPath);
    winsim::TrayCompanion().InstallAt(machine(), kTrayPath);
    // The installer started by itself runs its own entry point, in its own time.
    files().AddFile(kInstallerPath, "MZ");
    machine().processes().RegisterProgram(kInstallerPath, [](DWORD processId) {
      winsim::Machine::Current().processes().RunInOwnTime(processId, [] {
        return static_cast<DWORD>(
            wWinMain(winsim::Processes::ProgramModule(), nullptr, nullptr, 1));
      });
    });
  }

  struct Outcome {
    int exitCode;
    std::string log;
  };
  // Runs the program with Shift held, so that its log window shows the whole log.
  Outcome RunLogged(const std::string& arguments) {
    desktop().shiftDown = true;
    desktop().userActions.push_back(winsim::UserAction::Escape());
    size_t shown = desktop().shownDialogs.size();
    int exitCode = Run(arguments);
    desktop().shiftDown = false;
    std::string log = desktop().shownDialogs.size() > shown ? DialogLog(shown) : "(no window)";
    return {exitCode, log};
  }

  // A whole log kept in tests/host/sequences (one line per line, any line ends), with the CR LF
  // line ends the log has.
  static std::string ExpectedLog(const char* name) {
    std::ifstream file(std::string(SEQUENCE_LOGS_DIR) + "/" + name);
    std::string text;
    for (std::string line; std::getline(file, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      text += line + "\r\n";
    }
    return text;
  }

  // How often the text stands in a log.
  static size_t Count(const std::string& log, const char* text) {
    size_t count = 0;
    for (size_t at = 0; (at = log.find(text, at)) != std::string::npos; ++at) ++count;
    return count;
  }

  // The printers the spooler lists, with driver and port, in its order.
  std::vector<std::string> Printers() {
    std::vector<std::string> names;
    for (const auto& printer : spooler().printers) {
      if (!printer->deleted) names.push_back(Utf8(printer->name) + " on " + Utf8(printer->port));
    }
    return names;
  }
  bool OurMonitorRegistered() { return spooler().FindMonitor(u"vexaWriter:") != nullptr; }
  bool OurDriverRegistered() {
    return spooler().FindDriver(u"vexaWriter printer", winsim::kNativeEnvironment) != nullptr;
  }
  std::string RunValue() {
    const winsim::Registry::Value* value =
        machine().registry().GetValue(HKEY_LOCAL_MACHINE, kRunKeyPath, u"vexaWriterTray");
    if (value == nullptr) return "(none)";
    return Utf8(reinterpret_cast<const WCHAR*>(value->data.data()));
  }
  // What a run can change, as text: files and contents, registry values under HKLM, the
  // spooler's monitors, drivers, printers and state, the companion and the programs started.
  std::string MachineText() {
    std::string text;
    for (const WideText& file : files().FilesBelow(u"C:")) {
      text += Utf8(file) + "=" + files().Contents(file) + "\n";
    }
    winsim::Registry& registry = machine().registry();
    std::vector<WideText> keys = {winsim::Registry::FullPath(HKEY_LOCAL_MACHINE, u"")};
    for (size_t i = 0; i < keys.size(); ++i) {
      if (const winsim::Registry::Key* key = registry.FindKey(keys[i])) {
        for (const auto& [name, value] : key->values) {
          text += Utf8(keys[i] + u"\\" + name) + "=" +
                  std::string(value.data.begin(), value.data.end()) + "\n";
        }
      }
      for (const auto* key : registry.SubKeys(keys[i])) keys.push_back(keys[i] + u"\\" + key->name);
    }
    for (const std::string& printer : Printers()) text += printer + "\n";
    text += std::to_string(OurMonitorRegistered()) + std::to_string(OurDriverRegistered()) +
            std::to_string(CompanionRunning()) + std::to_string(SpoolerStops()) +
            std::to_string(machine().services().Spooler().state) +
            std::to_string(machine().processes().launches.size()) + Utf8(spooler().defaultPrinter);
    return text;
  }
  bool CompanionRunning() { return machine().mutexes().Exists(winsim::TrayCompanion::kMutexName); }
  unsigned SpoolerStops() { return machine().services().Spooler().stopsAccepted; }

  winsim::FileSystem& files() { return machine().files(); }
  winsim::Spooler& spooler() { return machine().spooler(); }
};
