#include "sequence_fixture.h"

namespace {

class UninstallSequenceTest : public SequenceTest {
 protected:
  // An installation without a running companion, so that the first file the uninstall tries
  // to delete is the monitor DLL.
  void InstallWithoutCompanion() { ASSERT_EQ(Run("in_notray"), 1); }
  bool MonitorDllExists() { return files().Exists(kSystemMonitorDll); }
};

TEST_F(UninstallSequenceTest, OnACleanMachineEachStepOnlyLooksForOurs) {
  Outcome uninstall = RunLogged("uninstall");
  EXPECT_EQ(uninstall.exitCode, 2);
  EXPECT_EQ(uninstall.log,
            JoinLines({
                "vexaWriter 2609",
                "#Check Spooler",
                R"(PrinterDriverDirectory:C:\windows\system32\spool\drivers\x64\)",
                "#UnInstall",
                "  EnumMonitors",
                "  1 Monitors found.",
                "  EnumPrinterDrivers for Windows x64",
                "  0 drivers found",
                "  #DeleteAllPrinters",
                "  #DeletePrinterDriver for Windows x64",
                "    BTW, there is no printer drivers on this system.",
                "    No vexaWriter driver (Windows x64)was found",
                "  #DeleteMonitor",
                "    ------- 1 existing monitors ----------",
                "    1. Local Port",
                "    ---------------------------------------",
                "    No vexaWriter port monitor was found.",
                "    Computing monitor filename",
                R"(    Auto calculated monitor file name: C:\Windows\system32\zqvmon64.dll)",
                "    There is no check for monitor version",
                "    Can't delete monitor and monitor was not found. So everything should be ok",
            }));
  EXPECT_EQ(SpoolerStops(), 0u);
  EXPECT_EQ(machine().ElapsedMilliseconds(), 1000u) << "only the pause for a missing Run value";
}

TEST_F(UninstallSequenceTest, EverythingOfOursGoesAndASecondUninstallFindsNothing) {
  machine().spooler().AddDriver(u"Generic / Text Only");
  machine().spooler().AddPrinter(u"Laser", u"Generic / Text Only", u"LPT1:");
  ASSERT_EQ(Run("install"), 1);
  ASSERT_TRUE(CompanionRunning());
  // An unfinished reinstall's record, beside another program's value in the vendor's key.
  const WideText vendor = u"Software\\Morvane Software KFT\\vexaWriter";
  machine().registry().SetString(HKEY_LOCAL_MACHINE, vendor + u"\\SavedPrinters\\X", u"SubKey",
                                 u"keyX");
  machine().registry().SetString(HKEY_LOCAL_MACHINE, vendor, u"Other", u"kept");
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(Run("uninstall"), 2) << run;
    EXPECT_FALSE(OurMonitorRegistered());
    EXPECT_FALSE(OurDriverRegistered());
    EXPECT_EQ(Printers(), std::vector<std::string>{"Laser on LPT1:"});
    EXPECT_FALSE(MonitorDllExists());
    // A driver file the spooler still has loaded (the UI DLL that adding a printer loads) is
    // the platform's to delete at the next boot; nothing else of the driver stays.
    for (const WideText& file : files().FilesBelow(u"C:\\windows\\system32\\spool\\drivers\\x64")) {
      EXPECT_TRUE(files().IsHeld(file)) << Utf8(file);
    }
    EXPECT_FALSE(CompanionRunning());
    EXPECT_FALSE(files().Exists(kTrayPath));
    EXPECT_EQ(RunValue(), "(none)");
    EXPECT_FALSE(machine().registry().KeyExists(HKEY_LOCAL_MACHINE, vendor + u"\\SavedPrinters"));
    EXPECT_NE(machine().registry().GetValue(HKEY_LOCAL_MACHINE, vendor, u"Other"), nullptr);
  }
}

TEST_F(UninstallSequenceTest, AHeldMonitorDllIsRetriedWithTheSpoolerStoppedThenScheduled) {
  struct Case {
    const char* what;
    unsigned refusals;  // 0: held by another process for good
    int exitCode;
    unsigned retries;
    unsigned spoolerStops;
    bool dllLeft;
  } cases[] = {
      {"freed before the first retry", 1, 2, 1, 0, false},
      {"freed while the spooler is stopped", 3, 2, 3, 1, false},
      {"held throughout", 0, 101, 3, 1, true},
  };
  for (const Case& c : cases) {
    InstallWithoutCompanion();
    for (unsigned n = 1; n <= c.refusals; ++n) {
      machine().FailCall("DeleteFileW", machine().CallCount("DeleteFileW") + n,
                         ERROR_ACCESS_DENIED);
    }
    if (c.refusals == 0) files().Hold(kSystemMonitorDll, "process", ERROR_ACCESS_DENIED);
    unsigned stopsBefore = SpoolerStops();
    Outcome uninstall = RunLogged("uninstall");
    EXPECT_EQ(uninstall.exitCode, c.exitCode) << c.what;
    EXPECT_EQ(Count(uninstall.log, "DeleteFile-try"), c.retries) << c.what;
    EXPECT_EQ(SpoolerStops() - stopsBefore, c.spoolerStops) << c.what;
    EXPECT_EQ(Count(uninstall.log, "#Restart Spooler"), c.spoolerStops) << c.what;
    EXPECT_EQ(MonitorDllExists(), c.dllLeft) << c.what;
    EXPECT_FALSE(OurMonitorRegistered()) << c.what;
    if (c.dllLeft) {  // scheduled: a second uninstall before the boot leaves it to the boot
      EXPECT_EQ(Run("uninstall"), 2);
      EXPECT_EQ(SpoolerStops() - stopsBefore, c.spoolerStops);
    }
    files().ReleaseHold(kSystemMonitorDll);
    files().Remove(kSystemMonitorDll);
  }
}

TEST_F(UninstallSequenceTest, AFailedListingCountsZeroAndTheStepsStillRun) {
  InstallWithoutCompanion();
  machine().FailCall("EnumMonitorsW", machine().CallCount("EnumMonitorsW") + 1,
                     RPC_S_SERVER_UNAVAILABLE);
  machine().FailCall("EnumPrinterDriversW", machine().CallCount("EnumPrinterDriversW") + 1,
                     RPC_S_SERVER_UNAVAILABLE);
  Outcome uninstall = RunLogged("uninstall");
  EXPECT_EQ(uninstall.exitCode, 2);
  EXPECT_NE(uninstall.log.find("  0 Monitors found.\r\n"), std::string::npos);
  EXPECT_NE(uninstall.log.find("  0 drivers found\r\n"), std::string::npos);
  EXPECT_EQ(Printers(), std::vector<std::string>{});
  EXPECT_FALSE(OurMonitorRegistered()) << "removed by name although it was not listed";
  EXPECT_FALSE(MonitorDllExists());
}

}  // namespace
