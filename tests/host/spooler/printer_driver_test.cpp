#include "spooler/printer_driver.h"

#include "spooler/driver_list.h"
#include "spooler_fixture.h"

namespace {

const char kCopyDriver[] =
    "    CopyFile zqvdrv64.dll to C:\\windows\\system32\\spool\\drivers\\x64\\)- OK";
const char kCopyUi[] =
    "    CopyFile zqvui64.dll to C:\\windows\\system32\\spool\\drivers\\x64\\)- OK";
const char kCopyHelp[] =
    "    CopyFile zqvhelp.chm to C:\\windows\\system32\\spool\\drivers\\x64\\)- OK";

class InstallPrinterDriverTest : public SpoolerStepTest {
 protected:
  InstallPrinterDriverTest() {
    for (const char* file : {"zqvdrv64.dll", "zqvui64.dll", "zqvhelp.chm"}) Payload(file);
  }
  void Payload(const char* file) {
    files().AddFile(Widen(std::string(kModuleDir) + file), std::string("payload ") + file);
  }
  static std::string Staged(const char* file) { return std::string(kDriverDir) + file; }
  static std::string Installed(const char* file) { return std::string(kInstalledDriverDir) + file; }
  std::vector<std::string> PendingDeletes() const {
    std::vector<std::string> paths;
    for (PendingDeleteNode* node = state.pendingDeletes; node != nullptr; node = node->next) {
      paths.push_back(Utf8(node->path));
    }
    return paths;
  }
  const winsim::SpoolerDriver* OurDriver() {
    return spooler().FindDriver(u"vexaWriter printer", winsim::kNativeEnvironment);
  }
};

TEST_F(InstallPrinterDriverTest, StagesAddsWithEveryFileAndCleansUp) {
  InstallPrinterDriver(state);
  EXPECT_EQ(Log(), JoinLines({"#Add Printer Driver x64", kCopyDriver, kCopyUi, kCopyHelp,
                              "  Printer Driver x64 was added successfully"}));
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(state.indent, 0);

  const winsim::SpoolerDriver* driver = OurDriver();
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(driver->version, 3u);
  EXPECT_EQ(Utf8(driver->driverFile), "zqvdrv64.dll");
  EXPECT_EQ(Utf8(driver->dataFile), "zqvdrv64.dll");
  EXPECT_EQ(Utf8(driver->configFile), "zqvui64.dll");
  EXPECT_EQ(Utf8(driver->helpFile), "zqvhelp.chm");
  EXPECT_EQ(Utf8(driver->manufacturer), "Morvane Software Kft.");
  EXPECT_EQ(Utf8(driver->provider), "Morvane Software Kft.");
  EXPECT_EQ(Utf8(driver->oemUrl), "https://www.morvane.example/");
  EXPECT_TRUE(driver->dependentFiles.empty());
  EXPECT_TRUE(driver->monitorName.empty());

  // The spooler has its own copies; the staged ones are gone.
  EXPECT_EQ(files().Contents(Widen(Installed("zqvui64.dll"))), "payload zqvui64.dll");
  for (const char* file : {"zqvdrv64.dll", "zqvui64.dll", "zqvhelp.chm"}) {
    EXPECT_FALSE(files().Exists(Widen(Staged(file)))) << file;
  }
  EXPECT_TRUE(PendingDeletes().empty());
}

// The driver is added with APD_COPY_ALL_FILES: an installed file of a newer build is replaced
// too, which a copy of new files only would keep.
TEST_F(InstallPrinterDriverTest, ReplacesInstalledFilesOfANewerBuild) {
  files().SetProductVersion(Widen(std::string(kModuleDir) + "zqvdrv64.dll"), {1, 0, 0, 2609});
  files().AddFile(Widen(Installed("zqvdrv64.dll")), "installed");
  files().SetProductVersion(Widen(Installed("zqvdrv64.dll")), {1, 0, 0, 2700});
  InstallPrinterDriver(state);
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(files().FileVersion(Widen(Installed("zqvdrv64.dll")))->at(3), 2609);
}

TEST_F(InstallPrinterDriverTest, WithoutAHelpFileTheDriverIsAddedWithoutOne) {
  files().Remove(Widen(std::string(kModuleDir) + "zqvhelp.chm"));
  InstallPrinterDriver(state);
  EXPECT_EQ(Log(), JoinLines({"#Add Printer Driver x64", kCopyDriver, kCopyUi,
                              "    Error(10): CopyFile zqvhelp.chm to "
                              "C:\\windows\\system32\\spool\\drivers\\x64\\) Cant't open source "
                              "file- FAILED! - (The system cannot find the file specified.)",
                              "  Printer Driver x64 was added successfully"}));
  EXPECT_EQ(state.errorCount, 1);
  ASSERT_NE(OurDriver(), nullptr);
  EXPECT_EQ(OurDriver()->helpFile, u"");
  EXPECT_FALSE(files().Exists(Widen(Staged("zqvdrv64.dll"))));
}

// A driver or UI DLL that cannot be staged stops the step before anything is added, and
// nothing staged so far is cleaned up.
TEST_F(InstallPrinterDriverTest, AMissingDllStopsBeforeTheDriverIsAdded) {
  struct Case {
    const char* missing;
    std::vector<std::string> log;
    bool driverStaged;
  } cases[] = {
      {"zqvdrv64.dll",
       {"#Add Printer Driver x64",
        "    Error(10): CopyFile zqvdrv64.dll to C:\\windows\\system32\\spool\\drivers\\x64\\) "
        "Cant't open source file- FAILED! - (The system cannot find the file specified.)"},
       false},
      {"zqvui64.dll",
       {"#Add Printer Driver x64", kCopyDriver,
        "    Error(10): CopyFile zqvui64.dll to C:\\windows\\system32\\spool\\drivers\\x64\\) "
        "Cant't open source file- FAILED! - (The system cannot find the file specified.)"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.missing);
    state.logText.Release();
    state.errorCount = 0;
    files().Remove(Widen(Staged("zqvdrv64.dll")));
    files().Remove(Widen(std::string(kModuleDir) + c.missing));
    unsigned addsBefore = machine().CallCount("AddPrinterDriverExW");
    InstallPrinterDriver(state);
    std::string expected;
    for (const std::string& line : c.log) expected += line + "\r\n";
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(state.errorCount, 1);
    EXPECT_EQ(state.indent, 0);
    EXPECT_EQ(machine().CallCount("AddPrinterDriverExW"), addsBefore);
    EXPECT_EQ(files().Exists(Widen(Staged("zqvdrv64.dll"))), c.driverStaged);
    EXPECT_EQ(OurDriver(), nullptr);
    Payload(c.missing);
  }
}

TEST_F(InstallPrinterDriverTest, AFailedAddIsErrorThirteenAndTheStagedCopiesStillGo) {
  machine().FailCall("AddPrinterDriverExW", 1, ERROR_ACCESS_DENIED);
  InstallPrinterDriver(state);
  EXPECT_EQ(Log(), JoinLines({"#Add Printer Driver x64", kCopyDriver, kCopyUi, kCopyHelp,
                              "  Error(13): Can`t install a x64 printer driver 'vexaWriter "
                              "printer' - (Access is denied.)"}));
  EXPECT_EQ(state.errorCount, 1);
  EXPECT_EQ(OurDriver(), nullptr);
  for (const char* file : {"zqvdrv64.dll", "zqvui64.dll", "zqvhelp.chm"}) {
    EXPECT_FALSE(files().Exists(Widen(Staged(file)))) << file;
  }
}

TEST_F(InstallPrinterDriverTest, TheWin32LabelNamesTheOtherFileSet) {
  state.isX64 = 0;
  machine().FailCall("AddPrinterDriverExW", 1, ERROR_INVALID_ENVIRONMENT);
  InstallPrinterDriver(state);
  EXPECT_NE(Log().find("#Add Printer Driver Win32\r\n"), std::string::npos);
  EXPECT_NE(Log().find("Error(13): Can`t install a Win32 printer driver"), std::string::npos);
}

// Staged copies that cannot be deleted wait in the pending-delete list, each once however
// often the step runs.
TEST_F(InstallPrinterDriverTest, HeldStagedCopiesWaitInThePendingListOnce) {
  machine().FailCallsFrom("DeleteFileW", 1, ERROR_SHARING_VIOLATION);
  InstallPrinterDriver(state);
  InstallPrinterDriver(state);
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(PendingDeletes(),
            (std::vector<std::string>{Staged("zqvhelp.chm"), Staged("zqvui64.dll"),
                                      Staged("zqvdrv64.dll")}));
}

TEST_F(InstallPrinterDriverTest, OnlyTheHeldCopyWaits) {
  machine().FailCall("DeleteFileW", 2, ERROR_SHARING_VIOLATION);  // the UI DLL
  InstallPrinterDriver(state);
  EXPECT_EQ(PendingDeletes(), (std::vector<std::string>{Staged("zqvui64.dll")}));
  EXPECT_TRUE(files().Exists(Widen(Staged("zqvui64.dll"))));
  EXPECT_FALSE(files().Exists(Widen(Staged("zqvdrv64.dll"))));
}

TEST_F(InstallPrinterDriverTest, TheListShowsTheAddedDriverAtLevelSix) {
  spooler().AddDriver(u"Generic / Text Only");
  InstallPrinterDriver(state);
  DriverList list = ListDrivers(L"Windows x64");
  ASSERT_EQ(list.count, 2u);
  EXPECT_EQ(list.level, 6u);
  EXPECT_EQ(FindOurDriver(list), 1);
  auto* records = static_cast<DRIVER_INFO_6W*>(list.records.get());
  EXPECT_EQ(Utf8(records[1].pDriverPath), Installed("zqvdrv64.dll"));
  EXPECT_EQ(Utf8(records[1].pHelpFile), Installed("zqvhelp.chm"));
  EXPECT_EQ(Utf8(records[1].pszOEMUrl), "https://www.morvane.example/");
  EXPECT_EQ(ListDrivers(L"Windows NT x86").count, 0u);
}

TEST_F(InstallPrinterDriverTest, AFailedListingIsEmpty) {
  spooler().AddDriver(u"Generic / Text Only");
  struct Case {
    const char* function;
    unsigned nth;
    DWORD error;
  } cases[] = {
      {"EnumPrinterDriversW", 1, RPC_S_SERVER_UNAVAILABLE},
      {"GlobalAlloc", 1, ERROR_OUTOFMEMORY},
      {"EnumPrinterDriversW", 2, ERROR_INSUFFICIENT_BUFFER},
  };
  for (const Case& c : cases) {
    machine().FailCall(c.function, machine().CallCount(c.function) + c.nth, c.error);
    DriverList list = ListDrivers(L"Windows x64");
    EXPECT_FALSE(list.complete) << c.function;
    EXPECT_EQ(list.count, 0u) << c.function;
    EXPECT_EQ(list.records.get(), nullptr);
    if (c.function == std::string("GlobalAlloc")) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_OUTOFMEMORY));
    }
  }
}

}  // namespace

namespace {

class RemovePrinterDriverTest : public InstallPrinterDriverTest {
 protected:
  void Run() {
    DriverList drivers = ListDrivers(L"Windows x64");
    RemovePrinterDriver(state, drivers);
  }
};

TEST_F(RemovePrinterDriverTest, ListsTheDriversAndDeletesOursWithItsFiles) {
  spooler().AddDriver(u"Generic / Text Only");
  spooler().AddDriver(u"vexaWriter printer ");
  InstallPrinterDriver(state);
  state.logText.Release();
  Run();
  EXPECT_EQ(Log(), JoinLines({
                       "#DeletePrinterDriver for Windows x64",
                       "  ------------ 3 existing drivers-----------",
                       "  1. Generic / Text Only",
                       "  2. vexaWriter printer ",
                       "  3. vexaWriter printer",
                       "  -------------------------------------------",
                       "  Driver is found. Index=3",
                       "  OK :)",
                   }));
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(state.indent, 0);
  EXPECT_EQ(OurDriver(), nullptr);
  EXPECT_EQ(spooler().drivers.size(), 2u);
  for (const char* file : {"zqvdrv64.dll", "zqvui64.dll", "zqvhelp.chm"}) {
    EXPECT_FALSE(files().Exists(Widen(Installed(file)))) << file;
  }
}

TEST_F(RemovePrinterDriverTest, ADriverThatIsNotThereIsOnlyLogged) {
  Run();
  EXPECT_EQ(Log(), JoinLines({
                       "#DeletePrinterDriver for Windows x64",
                       "  BTW, there is no printer drivers on this system.",
                       "  No vexaWriter driver (Windows x64)was found",
                   }));
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(machine().CallCount("DeletePrinterDriverExW"), 0u);
}

// A failed listing cannot tell whether ours is installed: the deletion is asked for anyway.
TEST_F(RemovePrinterDriverTest, AfterAFailedListingTheSpoolerTellsWhetherOursIsThere) {
  for (bool installed : {true, false}) {
    SCOPED_TRACE(installed);
    if (installed) InstallPrinterDriver(state);
    state.logText.Release();
    machine().FailCall("EnumPrinterDriversW", machine().CallCount("EnumPrinterDriversW") + 1,
                       RPC_S_SERVER_UNAVAILABLE);
    Run();
    EXPECT_EQ(Log(),
              JoinLines({"#DeletePrinterDriver for Windows x64",
                         "  BTW, there is no printer drivers on this system.",
                         installed ? "  OK :)" : "  No vexaWriter driver (Windows x64)was found"}));
    EXPECT_EQ(OurDriver(), nullptr);
    EXPECT_EQ(state.errorCount, 0);
  }
}

TEST_F(RemovePrinterDriverTest, ANamelessRecordIsListedAsEmpty) {
  DriverList drivers;
  drivers.records = NamedRecords<DRIVER_INFO_6W>({nullptr});
  drivers.count = 1;
  RemovePrinterDriver(state, drivers);
  EXPECT_EQ(Log(), JoinLines({
                       "#DeletePrinterDriver for Windows x64",
                       "  ------------ 1 existing drivers-----------",
                       "  1. ***EMPTY***",
                       "  -------------------------------------------",
                       "  No vexaWriter driver (Windows x64)was found",
                   }));
}

TEST_F(RemovePrinterDriverTest, ADriverStillHeldIsDeletedAfterASpoolerRestart) {
  InstallPrinterDriver(state);
  state.logText.Release();
  machine().FailCall("DeletePrinterDriverExW", 1, ERROR_PRINTER_DRIVER_IN_USE);
  Run();
  EXPECT_EQ(Log(), JoinLines({
                       "#DeletePrinterDriver for Windows x64",
                       "  ------------ 1 existing drivers-----------",
                       "  1. vexaWriter printer",
                       "  -------------------------------------------",
                       "  Driver is found. Index=1",
                       "  Can't delete driver. Trying to restart spooler",
                       "  #Restart Spooler",
                       "  OK :)",
                   }));
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(OurDriver(), nullptr);
  EXPECT_EQ(machine().CallCount("DeletePrinterDriverExW"), 2u);
}

// The driver is deleted with DPD_DELETE_ALL_FILES, which refuses while another driver shares one
// of its files (a deletion of unused files only would remove it and keep the shared file).
TEST_F(RemovePrinterDriverTest, AFileSharedWithAnotherDriverKeepsOursInstalled) {
  InstallPrinterDriver(state);
  state.logText.Release();
  spooler().AddDriver(u"Other").configFile = u"zqvui64.dll";
  Run();
  EXPECT_EQ(state.errorCount, 1);
  EXPECT_NE(OurDriver(), nullptr);
  EXPECT_TRUE(files().Exists(Widen(Installed("zqvhelp.chm"))));
}

TEST_F(RemovePrinterDriverTest, ADriverThatStaysIsErrorFourteen) {
  InstallPrinterDriver(state);
  state.logText.Release();
  spooler().AddPrinter(u"still here", u"vexaWriter printer", u"FILE:");
  spooler().AddConnection(u"\\\\srv", u"S", u"vexaWriter printer", u"");  // no excuse beside it
  Run();
  EXPECT_EQ(Log(), JoinLines({
                       "#DeletePrinterDriver for Windows x64",
                       "  ------------ 1 existing drivers-----------",
                       "  1. vexaWriter printer",
                       "  -------------------------------------------",
                       "  Driver is found. Index=1",
                       "  Can't delete driver. Trying to restart spooler",
                       "  #Restart Spooler",
                       "  Error(14): Can`t remove the printer-driver 'vexaWriter printer' - (The "
                       "specified printer driver is currently in use.)",
                   }));
  EXPECT_EQ(state.errorCount, 1);
  EXPECT_NE(OurDriver(), nullptr);
  EXPECT_TRUE(files().Exists(Widen(Installed("zqvdrv64.dll"))));
  spooler().printers.clear();
}

}  // namespace
