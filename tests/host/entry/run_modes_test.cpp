#include "run_modes.h"

#include "entry_fixture.h"
#include "sequences/sequence_fixture.h"
#include "sequences/wait_bounds.h"
#include "exit_codes.h"
#include "winsim/files.h"
#include "winsim/mutexes.h"
#include "winsim/namespaces.h"
#include "winsim/other_run.h"
#include "winsim/registry.h"
#include "winsim/services.h"
#include "winsim/tray_companion.h"

namespace {

// The package is in place, so that the install and uninstall modes run their whole sequences.
class RunModesTest : public SequenceTest {
 protected:
  void FailTheSpoolerCheck() { machine().FailCall("OpenSCManagerW", 1, ERROR_ACCESS_DENIED); }
  unsigned StatesBuilt() { return machine().CallCount("OpenSCManagerW"); }
  // Files, registry, spooler, services and processes, as text.
  std::string MachineState() {
    std::string text = "spooler " + std::to_string(machine().services().Spooler().state) + " " +
                       std::to_string(SpoolerStops()) + ", companion " +
                       std::to_string(CompanionRunning()) + ", default " +
                       Utf8(spooler().defaultPrinter) + "\n";
    for (const WideText& file : files().FilesBelow(u"C:")) {
      text += Utf8(file) + ": " + files().Contents(file) + "\n";
    }
    for (const auto& monitor : spooler().monitors) text += "monitor " + Utf8(monitor.name) + "\n";
    for (const auto& driver : spooler().drivers) text += "driver " + Utf8(driver.name) + "\n";
    for (const auto& printer : spooler().printers) {
      text += "printer " + Utf8(printer->name) + " " + Utf8(printer->port) + " " +
              Utf8(printer->comment) + std::to_string(printer->data.size()) + "\n";
    }
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      RegistryState(winsim::Registry::FullPath(root, u""), text);
    }
    return text;
  }
  void RegistryState(const WideText& path, std::string& text) {
    for (const winsim::Registry::Key* key : machine().registry().SubKeys(path)) {
      text += Utf8(path) + "\\" + Utf8(key->name) + ":";
      for (const auto& [name, value] : key->values) {
        text += " " + Utf8(name) + "=" + std::string(value.data.begin(), value.data.end());
      }
      text += "\n";
      RegistryState(path + u"\\" + key->name, text);
    }
  }
};

TEST_F(RunModesTest, WithoutArgumentsTheProgramDoesNothing) {
  EXPECT_EQ(Run(""), 6);
  EXPECT_EQ(StatesBuilt(), 0u);
  EXPECT_EQ(machine().CallCount("FindWindowW"), 0u);
  EXPECT_EQ(machine().processes().defaultDllDirectories,
            static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
}

TEST_F(RunModesTest, EachKeywordRunsItsModeAndAnswersWithItsExitCode) {
  struct Case {
    const char* arguments;
    int exitCode;
    unsigned statesBuilt;
  } cases[] = {
      {"removetray", 6, 0},    {"onChkDrv", 3, 0},  {"ONINIT", 102, 0},
      {"def.set", 4, 0},       {"DEF.SET", 6, 0},   {"\"def.set \"", 6, 0},
      {"nosuchmode", 6, 0},    {"INSTALL", 1, 1},   {"in", 1, 1},
      {"serverinstall", 1, 1}, {"in_notray", 1, 1}, {"Un", 2, 1},
      {"uninstall 0 0", 2, 1},
  };
  for (const Case& c : cases) {
    unsigned before = StatesBuilt();
    EXPECT_EQ(Run(c.arguments), c.exitCode) << c.arguments;
    EXPECT_EQ(StatesBuilt() - before, c.statesBuilt) << c.arguments;
  }
  EXPECT_TRUE(desktop().shownDialogs.empty()) << "no errors and no Shift: no log window";
}

TEST_F(RunModesTest, AnInstallWithAnErrorShowsItsLogAndExits100) {
  FailTheSpoolerCheck();
  desktop().userActions.push_back(winsim::UserAction::Enter());
  EXPECT_EQ(Run("install"), 100);
  ASSERT_EQ(desktop().shownDialogs.size(), 1u);
  EXPECT_EQ(DialogTitle(), "vexaWriter build 2609- Install error log!");
  // The end marker is written after the window has closed; the sequence runs all the same.
  EXPECT_EQ(
      DialogLog().rfind(JoinLines({
                            "vexaWriter 2609",
                            "#Check Spooler",
                            "  Error(1): Can't open service manager. - (Access is denied.)",
                            R"(PrinterDriverDirectory:C:\windows\system32\spool\drivers\x64\)",
                            "##0010",
                            "#ReInstall",
                        }),
                        0),
      0u);
  EXPECT_EQ(DialogLog().find("##0020"), std::string::npos);
  EXPECT_EQ(machine().CallCount("GetAsyncKeyState"), 0u) << "errors alone decide";
}

TEST_F(RunModesTest, ShiftHeldAtTheEndShowsTheLogOfASuccessfulRun) {
  desktop().shiftDown = true;
  desktop().userActions.push_back(winsim::UserAction::Escape());
  desktop().userActions.push_back(winsim::UserAction::CloseBox());
  EXPECT_EQ(Run("in_notray"), 1);
  EXPECT_EQ(Run("uninstall"), 2);
  ASSERT_EQ(desktop().shownDialogs.size(), 2u);
  EXPECT_EQ(DialogTitle(0), "vexaWriter build 2609- Install log.");
  EXPECT_EQ(DialogTitle(1), "vexaWriter build 2609- Install log.");
  // The uninstall log carries no markers.
  EXPECT_EQ(
      DialogLog(1).rfind(JoinLines({
                             "vexaWriter 2609",
                             "#Check Spooler",
                             R"(PrinterDriverDirectory:C:\windows\system32\spool\drivers\x64\)",
                             "#UnInstall",
                         }),
                         0),
      0u);
  EXPECT_EQ(DialogLog(1).find("##"), std::string::npos);
}

TEST_F(RunModesTest, AnUninstallWithAnErrorExits100) {
  FailTheSpoolerCheck();
  desktop().userActions.push_back(winsim::UserAction::Click(IDOK));
  EXPECT_EQ(Run("un"), 100);
  EXPECT_EQ(DialogTitle(), "vexaWriter build 2609- Install error log!");
  EXPECT_EQ(DialogLog().find("##"), std::string::npos);
}

TEST_F(RunModesTest, TheOwnerWindowIsTakenOnlyFromExactlyThreeArguments) {
  HWND owner = desktop().AddWindow(u"Setup", u"Setup");
  struct Case {
    std::string arguments;
    HWND owner;
  } cases[] = {
      {"install " + WindowNumber(owner), owner},
      {"install " + WindowNumber(owner) + " extra", nullptr},
      {"install 0", nullptr},
      {"install 12ab", nullptr},
      {"install " + WindowNumber(owner) + "ab", owner},  // digits up to the first other character
      {"install -" + WindowNumber(owner), nullptr},
  };
  for (const Case& c : cases) {
    // An error in each run, so that the log window shows whom it belongs to.
    machine().FailCall("OpenSCManagerW", StatesBuilt() + 1, ERROR_ACCESS_DENIED);
    desktop().userActions.push_back(winsim::UserAction::Enter());
    EXPECT_EQ(Run(c.arguments), 100) << c.arguments;
    EXPECT_EQ(desktop().shownDialogs.back().owner, c.owner) << c.arguments;
  }
}

TEST_F(RunModesTest, HelpWindowsCloseBeforeInstallAndUninstallOnly) {
  desktop().AddWindow(u"HH Parent", u"vexaWriter Help", winsim::Desktop::ClosesOnSysClose());
  EXPECT_EQ(Run("removetray"), 6);
  EXPECT_EQ(Run("onInit"), 102);
  EXPECT_TRUE(desktop().posted.empty());
  EXPECT_EQ(Run("install"), 1);
  EXPECT_EQ(desktop().posted.size(), 1u);
  EXPECT_EQ(FindWindowW(L"HH Parent", L"vexaWriter Help"), nullptr);
}

TEST_F(RunModesTest, ErrorsWinOverANeededReboot) {
  struct Case {
    bool errors;
    unsigned scheduled;
    int success;
    int exitCode;
  } cases[] = {
      {false, 0, kExitInstalled, 1},   {false, 2, kExitInstalled, 101},
      {true, 2, kExitInstalled, 100},  {true, 0, kExitUninstalled, 100},
      {false, 0, kExitUninstalled, 2}, {false, 1, kExitUninstalled, 101},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SequenceExitCode(c.errors, c.scheduled, c.success), c.exitCode)
        << c.errors << " " << c.scheduled;
  }
}

TEST_F(RunModesTest, ALogWindowThatCannotBeCreatedEndsTheRunAsIfClosed) {
  desktop().dialogTemplates.clear();
  FailTheSpoolerCheck();
  EXPECT_EQ(Run("install"), 100);
  EXPECT_TRUE(desktop().shownDialogs.empty());
}

TEST_F(RunModesTest, RemoveTrayStopsTheCompanionAndRemovesItsFileAndValue) {
  const winsim::WideText runKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  const winsim::WideText trayFile = u"C:\\vexa\\vextray.exe";
  DWORD companion = winsim::TrayCompanion{}.RunAt(machine(), trayFile);
  machine().registry().SetString(HKEY_LOCAL_MACHINE, runKey, u"vexaWriterTray", trayFile);

  EXPECT_EQ(Run("removetray"), 6);

  EXPECT_FALSE(machine().processes().IsRunning(companion));
  EXPECT_FALSE(machine().mutexes().Exists(winsim::TrayCompanion::kMutexName));
  EXPECT_FALSE(machine().files().Exists(trayFile));
  EXPECT_EQ(machine().registry().GetValue(HKEY_LOCAL_MACHINE, runKey, u"vexaWriterTray"), nullptr);
  EXPECT_EQ(StatesBuilt(), 0u);
}

// Where protected print mode is on or the system is ARM64 Windows, an install changes nothing
// and says why; removing runs as on any other system.
TEST_F(RunModesTest, AnInstallOnAWindowsThatCannotRunOurPrinterChangesNothing) {
  const std::string wpp =
      "Error(20): Can`t install: Windows protected print mode is on, it "
      "admits no printer driver of other makers\r\n";
  const std::string arm =
      "Error(20): Can`t install: this is an ARM64 Windows, the x64 printer "
      "driver cannot run on it\r\n";
  const WideText policy = u"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";
  struct Case {
    const char* what;
    int runtime;  // -1: the runtime class is missing; else its answer
    const char16_t* policyValue;
    USHORT native;
    bool hasIsWow64Process2;
    std::string refusal;  // empty: the install runs
  } cases[] = {
      {"runtime on", 1, nullptr, IMAGE_FILE_MACHINE_AMD64, true, wpp},
      {"policy", -1, u"WindowsProtectedPrintGroupPolicyState", IMAGE_FILE_MACHINE_AMD64, true, wpp},
      {"setting", -1, u"WindowsProtectedPrintMode", IMAGE_FILE_MACHINE_AMD64, true, wpp},
      {"ARM64", -1, nullptr, IMAGE_FILE_MACHINE_ARM64, true, arm},
      {"both", -1, u"WindowsProtectedPrintMode", IMAGE_FILE_MACHINE_ARM64, true, wpp + arm},
      {"runtime off over the policy", 0, u"WindowsProtectedPrintMode", IMAGE_FILE_MACHINE_AMD64,
       true, ""},
      {"no IsWow64Process2", -1, nullptr, IMAGE_FILE_MACHINE_ARM64, false, ""},
  };
  auto stage = [this] {  // an installation with its companion and a printer with settings
    StartOver();
    Run("install");
    winsim::SpoolerPrinter& a = spooler().AddPrinter(u"A", u"vexaWriter printer", u"vexaWriter:");
    winsim::Spooler::SetStringData(a, "PrinterDriverData", "SubKey", "keyA");
    a.comment = u"first floor";
    spooler().defaultPrinter = u"A";
  };
  stage();
  const std::string uninstall = RunLogged("uninstall").log;
  for (const Case& c : cases) {
    for (const char* mode : {"in", "install", "serverinstall", "in_notray", "uninstall"}) {
      std::string what = std::string(c.what) + " " + mode;
      stage();
      winsim::Processes& system = machine().processes();
      system.hasProtectedPrintInfo = c.runtime >= 0;
      system.protectedPrintEnabled = c.runtime == 1;
      if (c.policyValue) {
        machine().registry().SetValue(HKEY_LOCAL_MACHINE, policy, c.policyValue, REG_DWORD,
                                      {1, 0, 0, 0});
      }
      system.nativeMachine = c.native;
      system.hasIsWow64Process2 = c.hasIsWow64Process2;
      std::string before = MachineState();
      Outcome outcome = RunLogged(mode);
      if (std::string(mode) == "uninstall") {
        EXPECT_EQ(outcome.exitCode, 2) << what;
        EXPECT_EQ(outcome.log, uninstall) << what;
      } else if (c.refusal.empty()) {
        EXPECT_EQ(outcome.exitCode, 1) << what << outcome.log;
      } else {
        EXPECT_EQ(outcome.exitCode, 100) << what;
        EXPECT_EQ(outcome.log, "vexaWriter 2609\r\n" + c.refusal) << what;
        EXPECT_EQ(DialogTitle(), "vexaWriter build 2609- Install error log!");
        EXPECT_EQ(MachineState(), before) << what;
      }
      EXPECT_EQ(machine().OpenHandleCount(), 0u) << what << machine().DescribeOpenHandles();
    }
  }
}

// The internal session stop, started by hand as a standard user: it acts only when the
// installer's marker, owned by Administrators, is there under the name on its command line.
TEST_F(RunModesTest, TheSessionStopActsOnlyForAnInstallerRun) {
  const struct {
    const char* arguments;
    const char* markerOwner;  // null: no marker
    int exitCode;
  } cases[] = {
      {"vxs-session-stop", nullptr, 6},
      {"vxs-session-stop 12.34", nullptr, 6},
      {"vxs-session-stop 12.34", winsim::kStandardUserSid, 6},
      {"vxs-session-stop ..\\12.34", winsim::kAdministratorsSid, 6},
      {"VXS-SESSION-STOP 12.34", winsim::kAdministratorsSid, 6},
      {"vxs-session-stop 12.34 0", winsim::kAdministratorsSid, 6},
      {"vxs-session-stop 12.34", winsim::kAdministratorsSid, 42},
  };
  machine().processes().token = winsim::Token::StandardUser();
  for (const auto& c : cases) {
    DWORD companion = winsim::TrayCompanion{}.RunAs(machine(), u"C:\\vexa\\vextray.exe",
                                                    machine().processes().token);
    bool existed = false;
    auto marker = machine().mutexes().Open("Global\\vexaWriter.TrayStop.12.34", &existed);
    marker->security.owner = c.markerOwner != nullptr ? c.markerOwner : "";
    if (c.markerOwner == nullptr) marker.reset();
    EXPECT_EQ(Run(c.arguments), c.exitCode) << c.arguments;
    EXPECT_EQ(machine().processes().IsRunning(companion), c.exitCode == 6) << c.arguments;
    machine().processes().End(companion, 0);
  }
  EXPECT_EQ(StatesBuilt(), 0u);
}

}  // namespace

namespace {

// One run at a time: what a run does when another run, or another account, got to the run lock
// first, on a machine with private namespaces and on one without (as Wine).
class RunLockTest : public SequenceTest {
 protected:
  unsigned StatesBuilt() { return machine().CallCount("OpenSCManagerW"); }
  enum Holder { kNobody, kReleases, kDies, kDiedBefore, kKeeps, kUserObject, kUserDenying };
  void Stage(Holder holder, bool namespaces) {
    StartOver();
    Run("install");  // an installation with its companion running
    machine().namespaces().present = namespaces;
    winsim::OtherRun other;
    other.at = machine().ElapsedMilliseconds() + 2000;
    other.ends = holder == kDies || holder == kDiedBefore ? winsim::OtherRun::Ends::Dying
                 : holder == kKeeps                       ? winsim::OtherRun::Ends::Never
                                                          : winsim::OtherRun::Ends::Releasing;
    if (holder == kUserObject || holder == kUserDenying) {
      other.place = winsim::OtherRun::Place::GlobalName;
      other.security.owner = winsim::kStandardUserSid;
      other.security.hasDacl = holder == kUserDenying;
      other.security.allowed = {winsim::kStandardUserSid};
      other.holds = false;
      other.ends = winsim::OtherRun::Ends::Never;
    }
    if (holder != kNobody) other.Start(machine());
    if (holder == kDiedBefore) machine().Advance(2000);
  }
};

TEST_F(RunLockTest, ASecondRunWaitsBoundedAndAnUntrustedLockStopsTheRun) {
  const std::string first = "vexaWriter 2609\r\n";
  const std::string wait =
      "Another run of the installer is in progress. Waiting up to 300 s for it to end\r\n";
  const std::string runs = "#Check Spooler\r\n";
  const std::string timeout =
      "Error(18): Can`t wait any longer for the other run of the installer - (The wait "
      "operation timed out.)\r\n";
  const std::string untrusted =
      "Error(18): Can`t trust the lock against a second run: another account made it\r\n";
  const std::string unavailable =
      "Error(18): Can`t make the lock against a second run - (Access is denied.)\r\n";
  struct Case {
    const char* mode;
    Holder holder;
    bool namespaces;
    int exitCode;
    std::string log;               // the whole log when the run failed, else how it starts
    bool ourFilesPending = false;  // our monitor DLL (held) and a staged driver DLL (free)
    bool namespaceRace = false;    // made by another run, which closes it before the open
  } cases[] = {
      {"install", kReleases, true, 1, first + wait + runs},
      {"uninstall", kReleases, false, 2, first + wait + runs},
      {"in_notray", kDies, true, 1, first + wait + runs},  // abandoned while waited for
      {"install", kDies, false, 1, first + wait + runs},
      {"install", kDiedBefore, false, 1, first + runs},  // gone with its owner
      {"install", kNobody, true, 1, first + runs},
      {"install", kKeeps, true, 100, first + wait + timeout},
      {"uninstall", kKeeps, false, 100, first + wait + timeout},
      {"removetray", kKeeps, true, 100, "(no window)"},
      {"install", kUserObject, false, 100, first + untrusted},
      {"uninstall", kUserDenying, false, 100, first + unavailable},
      {"install", kUserObject, true, 1, first + runs},  // a Global\ name is not looked at
      {"onChkDrv", kKeeps, true, 103, "(no window)"},
      {"onInit", kKeeps, false, 102, "(no window)"},
      {"def.set", kKeeps, true, 4, "(no window)"},
      {"onInit", kKeeps, true, 200, "(no window)", true},  // another run's lock: reads only
      {"onInit", kNobody, false, 200, "(no window)", true},
      {"install", kNobody, true, 1, first + runs, false, true},
  };
  for (const Case& c : cases) {
    Stage(c.holder, c.namespaces);
    const WideText staged = u"C:\\windows\\system32\\spool\\drivers\\x64\\zqvdrv64.dll";
    if (c.ourFilesPending) {
      files().AddFile(staged);
      files().Hold(kSystemMonitorDll, "process", ERROR_ACCESS_DENIED);
      for (const WideText& path : {WideText(kSystemMonitorDll), staged})
        MoveFileExW(winsim::Ptr(path), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    unsigned stops = SpoolerStops();
    if (c.namespaceRace) {
      machine().FailCall("CreatePrivateNamespaceW",
                         machine().CallCount("CreatePrivateNamespaceW") + 1, ERROR_ALREADY_EXISTS);
      machine().FailCall("OpenPrivateNamespaceW", machine().CallCount("OpenPrivateNamespaceW") + 1,
                         ERROR_FILE_NOT_FOUND);
    }
    // Another process opens the lock while the run adds a printer, and keeps it.
    std::shared_ptr<winsim::Mutexes::Mutex> kept;
    spooler().onAddPrinter = [&](const PRINTER_INFO_2W&) {
      bool existed = false;
      if (!kept) kept = machine().mutexes().Open(winsim::OtherRun::LockName(machine()), &existed);
    };
    files().AddDirectory(u"C:\\Users\\admin\\AppData\\Local\\Temp");
    const WideText logFile = u"C:\\Users\\admin\\AppData\\Local\\Temp\\vexaWriter-setup.log";
    size_t logBefore = files().Contents(logFile).size();
    std::vector<std::string> printers = Printers();
    unsigned checks = StatesBuilt();
    unsigned locks = machine().CallCount("CreateMutexW");
    uint64_t start = machine().ElapsedMilliseconds();
    Outcome outcome = RunLogged(c.mode);
    std::string what = std::string(c.mode) + " " + std::to_string(c.holder) +
                       (c.namespaces ? " namespaces" : " Global");
    EXPECT_EQ(outcome.exitCode, c.exitCode) << what;
    if (kept) {  // let go of, and made for SYSTEM and Administrators only
      EXPECT_EQ(kept->owner, 0u) << what;
      EXPECT_EQ(kept->security.allowed, winsim::OtherRun::AdminOnly().allowed) << what;
    }
    if (c.exitCode == 100) {
      EXPECT_EQ(outcome.log, c.log) << what;
      if (c.log != "(no window)") {  // the whole entry, appended at the end
        std::string entry = files().Contents(logFile).substr(logBefore);
        EXPECT_EQ(entry.substr(entry.find("\r\n") + 2), c.log + "Exit code 100\r\n") << what;
      }
      EXPECT_EQ(machine().ElapsedMilliseconds() - start,
                c.holder == kKeeps ? wait_bounds::kRunLock : 0u)
          << what;
      EXPECT_EQ(StatesBuilt(), checks) << what << ": the spooler check ran";
      EXPECT_EQ(Printers(), printers) << what;
      EXPECT_TRUE(CompanionRunning()) << what;
    } else {
      EXPECT_EQ(outcome.log.rfind(c.log, 0), 0u) << what << "\n" << outcome.log;
    }
    bool query = c.log == "(no window)" && c.exitCode != 100 && std::string(c.mode) != "onInit";
    EXPECT_EQ(machine().CallCount("CreateMutexW") == locks, query) << what;
    if (c.ourFilesPending) {
      EXPECT_EQ(SpoolerStops() - stops, c.holder == kKeeps ? 0u : 2u) << what;
      EXPECT_EQ(files().Exists(staged), c.holder == kKeeps) << what;
    }
    if (!desktop().shownDialogs.empty()) {
      EXPECT_EQ(desktop().shownDialogs.back().mutexesOwned, std::vector<std::string>{}) << what;
    }
    EXPECT_EQ(machine().OpenHandleCount(), 0u) << what << machine().DescribeOpenHandles();
  }
}

}  // namespace
