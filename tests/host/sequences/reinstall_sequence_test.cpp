#include "sequence_fixture.h"

namespace {

using Names = std::vector<std::string>;

class ReinstallSequenceTest : public SequenceTest {
 protected:
  // The state a run leaves, as far as the user sees it.
  struct EndState {
    Names printers;
    bool monitor;
    bool driver;
    std::string runValue;
    bool companion;
    std::string defaultPrinter;
    bool operator==(const EndState& o) const {
      return printers == o.printers && monitor == o.monitor && driver == o.driver &&
             runValue == o.runValue && companion == o.companion &&
             defaultPrinter == o.defaultPrinter;
    }
  };
  EndState State() {
    return {Printers(), OurMonitorRegistered(), OurDriverRegistered(),
            RunValue(), CompanionRunning(),     Utf8(spooler().defaultPrinter)};
  }
};

TEST_F(ReinstallSequenceTest, ACleanMachineGetsMonitorDriverOnePrinterAndTheCompanion) {
  Outcome install = RunLogged("install");
  EXPECT_EQ(install.exitCode, 1);
  // The same log is what the Wine check of a clean install (82_shift_install_log.sh) compares
  // the real platform's log window with, block by block.
  EXPECT_EQ(install.log, ExpectedLog("clean_install.log"));
  EXPECT_EQ(
      State(),
      (EndState{{"vexaWriter on vexaWriter:"}, true, true, R"("C:\vexa\vextray.exe")", true, ""}));
  ASSERT_EQ(machine().processes().launches.size(), 1u);
  EXPECT_EQ(Utf8(machine().processes().launches[0].commandLine), R"("C:\vexa\vextray.exe")");
  EXPECT_EQ(SpoolerStops(), 0u);
}

TEST_F(ReinstallSequenceTest, ARepairInstallKeepsTheCompatibleMonitorAndTheCompanion) {
  ASSERT_EQ(Run("install"), 1);
  EndState first = State();
  Outcome repair = RunLogged("install");
  EXPECT_EQ(repair.exitCode, 1);
  EXPECT_EQ(State(), first);
  EXPECT_TRUE(files().Exists(kTrayPath)) << "the companion being registered again stays";
  EXPECT_EQ(machine().processes().launches.size(), 2u);
  EXPECT_NE(repair.log.find("        InstallMonitor == 0, CopyMonitor == 1\r\n"
                            "    #Add Printer Driver x64\r\n"),
            std::string::npos)
      << "the monitor is neither copied nor added, the driver is replaced:\n"
      << repair.log;
  EXPECT_EQ(Count(repair.log, "#DeletePrinter(vexaWriter)"), 1u);
}

TEST_F(ReinstallSequenceTest, WithoutTheCompanionNothingIsRegisteredOrStarted) {
  winsim::TrayCompanion().RunAt(machine(), kTrayPath);
  machine().registry().SetString(HKEY_LOCAL_MACHINE, kRunKeyPath, u"vexaWriterTray", kTrayPath);
  EXPECT_EQ(Run("in_notray"), 1);
  EXPECT_EQ(RunValue(), "(none)");
  EXPECT_FALSE(CompanionRunning());
  EXPECT_FALSE(files().Exists(kTrayPath)) << "not the file of this install: removed";
  EXPECT_TRUE(machine().processes().launches.empty());
}

TEST_F(ReinstallSequenceTest, HeldFilesAreTriedAgainThenDroppedOrScheduled) {
  struct Case {
    const char* what;
    bool oldMonitor;        // an old monitor of ours, of an unsupported build, is installed
    unsigned firstRefusal;  // DeleteFileW calls to refuse, counted from the run's first
    unsigned refusals;
    int exitCode;
    size_t restarts;
  } cases[] = {
      // Refused by the removal, the retry of the uninstall and the retry with the spooler
      // stopped: given up, the new DLL is copied over it.
      {"old monitor DLL", true, 1, 3, 1, 1},
      // The three staged driver files, refused for good: scheduled for the next boot.
      {"staged driver files", false, 1, 1000, 101, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.oldMonitor) {
      files().AddFile(kSystemMonitorDll, "old monitor");
      files().SetProductVersion(kSystemMonitorDll, {1, 0, 0, 2604});
      spooler().AddMonitor(u"vexaWriter:", u"zqvmon64.dll", {u"vexaWriter:"});
    }
    unsigned before = machine().CallCount("DeleteFileW");
    for (unsigned n = 0; n < c.refusals; ++n) {
      machine().FailCall("DeleteFileW", before + c.firstRefusal + n, ERROR_ACCESS_DENIED);
    }
    Outcome install = RunLogged("in_notray");
    EXPECT_EQ(install.exitCode, c.exitCode);
    EXPECT_EQ(Count(install.log, "#Restart Spooler"), c.restarts) << install.log;
    EXPECT_EQ(files().Contents(kSystemMonitorDll).rfind("stand-in", 0), 0u);
    EXPECT_TRUE(OurMonitorRegistered());
    Run("uninstall");
  }
}

// Also over a monitor whose removal is refused, and beside a connection on our driver, which
// keeps the driver in use without an error.
constexpr char kKeptForConnections[] =
    "Printer connections use driver 'vexaWriter printer', it stays for them\r\n";
struct OldInstallation {
  const char* name;
  unsigned monitorRefusals;
  int connection;     // 0 none, 1 the running account's, 2 another account's
  const char* error;  // the run's one error; empty: none
};
void PrintTo(const OldInstallation& c, std::ostream* out) {
  *out << c.name;
}
class ReinstallOverOldTest : public ReinstallSequenceTest,
                             public ::testing::WithParamInterface<OldInstallation> {};

TEST_P(ReinstallOverOldTest, OurPrintersComeBackWithTheirSettingsAndOtherPortsStayPut) {
  const OldInstallation& c = GetParam();
  // An earlier installation of an unsupported build, with two printers of ours and a printer of
  // another driver that also prints to our port, which keeps the old monitor in use.
  files().AddFile(kSystemMonitorDll, "old monitor");
  files().SetProductVersion(kSystemMonitorDll, {1, 0, 0, 2604});
  spooler().AddMonitor(u"vexaWriter:", u"zqvmon64.dll", {u"vexaWriter:"});
  winsim::SpoolerDriver& ours = spooler().AddDriver(u"vexaWriter printer");
  ours.driverFile = ours.dataFile = u"zqvdrv64.dll";
  ours.configFile = u"zqvui64.dll";
  spooler().AddDriver(u"Generic / Text Only");
  winsim::SpoolerPrinter& a = spooler().AddPrinter(u"A", u"vexaWriter printer", u"vexaWriter:");
  a.comment = u"first floor";
  winsim::Spooler::SetStringData(a, "PrinterDriverData", "SubKey", "keyA");
  winsim::SpoolerPrinter& b = spooler().AddPrinter(u"B", u"vexaWriter printer", u"vexaWriter:");
  b.location = u"room 2";
  winsim::Spooler::SetStringData(b, "DsUser", "SubKey", "keyB");
  spooler().AddPrinter(u"Both", u"Generic / Text Only", u"LPT1:,vexaWriter:");
  if (c.connection) {
    winsim::SpoolerPrinter& connection =
        spooler().AddConnection(u"\\\\srv", u"B", u"vexaWriter printer", u"vexaWriter:");
    connection.comment = u"server's";
    connection.otherAccount = c.connection == 2;
  }
  spooler().defaultPrinter = u"B";
  const char16_t* settings = u"Software\\Morvane Software KFT\\vexaWriter\\vexaWriters\\keyB";
  machine().registry().SetString(HKEY_CURRENT_USER, settings, u"deleted", u"1");
  for (unsigned n = 1; n <= c.monitorRefusals; ++n) {
    machine().FailCall("DeleteMonitorW", n, ERROR_ACCESS_DENIED);
  }

  Outcome install = RunLogged("in_notray");
  EXPECT_EQ(install.exitCode, *c.error ? 100 : 1) << install.log;
  EXPECT_EQ(Count(install.log, "Error("), *c.error ? 1u : 0u);
  EXPECT_NE(install.log.find(c.error), std::string::npos);
  Names printers = Printers();
  if (c.connection) {
    EXPECT_EQ(printers[1] + Utf8(spooler().FindPrinter(u"\\\\srv\\B")->comment),
              "\\\\srv\\B on vexaWriter:server's");
    EXPECT_EQ(Count(install.log, "\\\\srv"), c.connection == 1 ? 1u : 0u) << "its line alone";
    EXPECT_EQ(Count(install.log, kKeptForConnections), 1u) << install.log;
    printers.erase(printers.begin() + 1);
  }
  EXPECT_EQ(printers, (Names{"Both on LPT1:,vexaWriter:", "B on vexaWriter:", "A on vexaWriter:"}));
  EXPECT_EQ(Utf8(spooler().defaultPrinter), "B");
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"A")->comment), "first floor");
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"B")->location), "room 2");
  EXPECT_EQ(machine().registry().GetValue(HKEY_CURRENT_USER, settings, u"deleted"), nullptr);
  EXPECT_NE(install.log.find("Can't delete monitor from the first try"), std::string::npos);
  EXPECT_EQ(Count(install.log, "SetPrinter(Both) - ok"), 2u) << "moved off our port and back";
  EXPECT_EQ(Count(install.log, "Can't open printer A"), 2u) << "deleted since the snapshot";
  if (!c.connection) return;
  Outcome uninstall = RunLogged("uninstall");
  EXPECT_EQ(uninstall.exitCode, 2) << uninstall.log;
  EXPECT_EQ(Count(uninstall.log, kKeptForConnections), 1u);
  EXPECT_TRUE(OurDriverRegistered() && !OurMonitorRegistered());
}

INSTANTIATE_TEST_SUITE_P(Cases, ReinstallOverOldTest,
                         ::testing::Values(OldInstallation{"as is", 0, 0, ""},
                                           OldInstallation{"monitor kept", 3, 0, "Error(12)"},
                                           OldInstallation{"connection", 0, 1, ""},
                                           OldInstallation{"another's connection", 0, 2, ""}));

TEST_F(ReinstallSequenceTest, PrintersAnUnfinishedRunLeftComeBackWithTheirRecordedSettings) {
  // A run ended by force left printer A created again without its settings, C deleted, and a
  // record of D, whose name a printer of another driver has taken since.
  Run("in_notray");
  winsim::Spooler::SetStringData(*spooler().FindPrinter(u"vexaWriter"), "PrinterDriverData",
                                 "SubKey", "keyV");
  spooler().FindPrinter(u"vexaWriter")->location = u"lobby";
  spooler().AddPrinter(u"A", u"vexaWriter printer", u"vexaWriter:");
  spooler().AddDriver(u"Generic / Text Only");
  spooler().AddPrinter(u"D", u"Generic / Text Only", u"LPT1:");
  // And a record of E, which the user has made again since, with its settings.
  winsim::SpoolerPrinter& e = spooler().AddPrinter(u"E", u"vexaWriter printer", u"vexaWriter:");
  winsim::Spooler::SetStringData(e, "PrinterDriverData", "SubKey", "keyE");
  e.comment = u"mine";
  const WideText records = u"Software\\Morvane Software KFT\\vexaWriter\\SavedPrinters";
  winsim::Registry& registry = machine().registry();
  for (const char* name : {"A", "C", "D", "E"}) {
    registry.SetString(HKEY_LOCAL_MACHINE, records + u"\\" + Widen(name), u"SubKey",
                       Widen(std::string("key") + name));
    registry.SetString(HKEY_LOCAL_MACHINE, records + u"\\" + Widen(name), u"Comment",
                       Widen(std::string("desk ") + name));
  }
  registry.SetValue(HKEY_LOCAL_MACHINE, records + u"\\A", u"Default", REG_DWORD, {1, 0, 0, 0});
  // The record of the printer this run takes out, as it stands while printers are added.
  std::string recorded;
  std::vector<size_t> recordsLeft;  // at each printer added: each printer back drops its record
  spooler().onAddPrinter = [&](const PRINTER_INFO_2W&) {
    recordsLeft.push_back(
        registry.SubKeys(winsim::Registry::FullPath(HKEY_LOCAL_MACHINE, records)).size());
    if (!recorded.empty()) return;
    for (const char16_t* value : {u"SubKey", u"Comment", u"Location", u"Default"}) {
      const auto* data = registry.GetValue(HKEY_LOCAL_MACHINE, records + u"\\vexaWriter", value);
      recorded += data == nullptr ? "-"
                                  : std::to_string(data->type) + ":" +
                                        Utf8(reinterpret_cast<const WCHAR*>(data->data.data()));
      recorded += " ";
    }
  };

  Outcome install = RunLogged("in_notray");
  EXPECT_EQ(install.exitCode, 1) << install.log;
  EXPECT_EQ(recorded, "1:keyV 1: 1:lobby 4: ");
  EXPECT_EQ(recordsLeft, (std::vector<size_t>{5, 4, 3, 2}));
  EXPECT_EQ(Count(install.log,
                  "Printer A gets back the settings saved by a run that did not "
                  "finish\r\n  "),
            1u);
  EXPECT_EQ(Count(install.log, "Printer C was removed by a run that did not finish, it comes back"),
            1u);
  EXPECT_EQ(Count(install.log, "Printer D "), 0u);
  EXPECT_EQ(Count(install.log, "Printer E "), 0u);
  EXPECT_EQ(Printers(), (Names{"D on LPT1:", "E on vexaWriter:", "vexaWriter on vexaWriter:",
                               "C on vexaWriter:", "A on vexaWriter:"}));
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"E")->comment), "mine");
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"A")->comment), "desk A");
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"C")->comment), "desk C");
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"vexaWriter")->location), "lobby");
  EXPECT_EQ(Utf8(spooler().defaultPrinter), "A");
  EXPECT_FALSE(registry.KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Morvane Software KFT"));
}

}  // namespace

// The package's folders and files as other accounts may have left them. Refused: error 19 names
// the folder, the run changes nothing and exits 100. Otherwise the run is the one from a package
// no one else can change, log and outcome alike, and copies what it checked.
TEST_F(ReinstallSequenceTest, APackageOtherAccountsCanChangeIsNotUsed) {
  using winsim::kUsersSid;
  using winsim::kWriteAccess;
  const WideText top = u"C:\\vexa", drv = u"C:\\vexa\\drv", monitor = drv + u"\\zqvmon64.dll";
  const WideText real = u"C:\\real";
  auto linkTo = [&](const WideText& at, const WideText& folder) {
    for (const WideText& file : files().FilesBelow(at)) {
      files().AddFile(real + file.substr(folder.size()), files().Contents(file));
    }
    files().AddLink(at, real + at.substr(folder.size()), true);
  };
  auto denied = [&](const WideText& path) {
    files().Find(path)->access.push_back({kUsersSid, kWriteAccess, 0, ACCESS_DENIED_ACE_TYPE});
  };
  struct Case {
    const char* mode;
    const char* refused;  // the folder named, or null: the run as from a trusted package
    std::function<void()> stage;
  } cases[] = {
      {"install", nullptr, [] {}},
      {"install", "C:\\vexa\\drv", [&] { files().AllowWrites(drv, kUsersSid); }},
      {"install", "C:\\vexa", [&] { files().AllowWrites(top, winsim::kAuthenticatedUsersSid); }},
      {"uninstall", "C:\\vexa", [&] { files().AllowWrites(top, kUsersSid); }},
      {"removetray", "C:\\vexa", [&] { files().AllowWrites(top, kUsersSid); }},
      {"uninstall", "C:\\vexa\\drv", [&] { files().AllowWrites(drv, kUsersSid); }},
      {"install", "C:\\vexa\\drv", [&] { files().SetOwner(drv, winsim::kStandardUserSid); }},
      {"install", "C:\\vexa\\drv", [&] { files().SetOwner(monitor, winsim::kStandardUserSid); }},
      {"install", "C:\\vexa\\drv",
       [&] { files().AllowWrites(monitor, kUsersSid, FILE_WRITE_DATA, 0); }},
      {"install", "C:\\vexa\\drv",
       [&] { files().AllowWrites(drv, kUsersSid, FILE_APPEND_DATA, 0); }},
      {"install", "C:\\vexa\\drv",
       [&] { files().AllowWrites(drv, kUsersSid, FILE_DELETE_CHILD, 0); }},
      {"install", "C:\\vexa\\drv", [&] { files().AllowWrites(drv, kUsersSid, WRITE_DAC, 0); }},
      {"install", "C:\\vexa\\drv", [&] { files().AllowWrites(drv, kUsersSid, WRITE_OWNER, 0); }},
      {"install", "C:\\vexa", [&] { files().AllowWrites(top, kUsersSid, DELETE, 0); }},
      {"install", "C:\\vexa", [&] { files().AllowWrites(kTrayPath, winsim::kEveryoneSid); }},
      {"in_notray", nullptr, [&] { files().AllowWrites(kTrayPath, winsim::kEveryoneSid); }},
      {"install", nullptr,
       [&] { files().AllowWrites(drv, kUsersSid, kWriteAccess, INHERIT_ONLY_ACE); }},
      {"install", nullptr, [&] { denied(drv); }},
      {"install", nullptr,
       [&] {
         files().SetOwner(drv, winsim::kTrustedInstallerSid);
         files().AllowWrites(drv, winsim::kTrustedInstallerSid, FILE_ALL_ACCESS, 0);
         files().SetOwner(monitor, machine().processes().token.user);
         files().AllowWrites(monitor, machine().processes().token.user, FILE_ALL_ACCESS, 0);
       }},
      {"install", "C:\\vexa\\drv", [&] { linkTo(top, top); }},
      {"uninstall", "C:\\vexa\\drv", [&] { linkTo(top, top); }},
      {"install", "C:\\vexa\\drv", [&] { linkTo(drv, top); }},
      {"install", "C:\\vexa\\drv",
       [&] {
         files().AddFile(real + u"\\zqvmon64.dll", files().Contents(monitor));
         files().AddLink(monitor, real + u"\\zqvmon64.dll", false);
       }},
      {"install", nullptr,
       [&] { files().ReplaceAfterOpens(drv + u"\\zqvdrv64.dll", "planted", 1); }},
  };
  for (const Case& c : cases) {
    std::string what = std::string(c.mode) + " refused " + (c.refused ? c.refused : "none") +
                       " row " + std::to_string(&c - cases);
    StartOver();
    Run("install");
    std::string reference = c.refused ? "" : RunLogged(c.mode).log;
    StartOver();
    Run("install");
    c.stage();
    std::string before = MachineText();
    Outcome outcome = RunLogged(c.mode);
    if (c.refused != nullptr) {
      EXPECT_EQ(outcome.exitCode, 100) << what;
      std::string error = "vexaWriter 2609\r\nError(19): Can`t trust the folder " +
                          std::string(c.refused) + ": other accounts can change it\r\n";
      EXPECT_EQ(outcome.log, std::string(c.mode) == "removetray" ? "(no window)" : error) << what;
      EXPECT_EQ(MachineText(), before) << what;
    } else {
      EXPECT_NE(outcome.exitCode, 100) << what;
      EXPECT_EQ(outcome.log, reference) << what;
      EXPECT_EQ(MachineText().find("planted"), MachineText().rfind("planted")) << what;
    }
    EXPECT_EQ(machine().OpenHandleCount(), 0u) << what << machine().DescribeOpenHandles();
  }
}
