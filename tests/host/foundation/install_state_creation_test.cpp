#include "foundation/install_state.h"
#include "state_lifecycle.h"

#include "test_support.h"
#include "winsim/processes.h"
#include "winsim/spooler.h"

namespace {

class InstallStateCreationTest : public MachineTest {
 protected:
  std::string Log() { return Utf8(state.logText.Text()); }
  winsim::Processes& process() { return machine().processes(); }

  InstallState state;
};

TEST_F(InstallStateCreationTest, BuildsTheX64RunOnAHealthyMachine) {
  CreateInstallState(state, OptionX64);
  EXPECT_EQ(Log(), JoinLines({
                       "vexaWriter 2609",
                       "#Check Spooler",
                       R"(PrinterDriverDirectory:C:\windows\system32\spool\drivers\x64\)",
                   }));
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(state.indent, 0);
  EXPECT_EQ(Utf8(state.moduleDir.Text()), R"(C:\vexa\drv\)");
  EXPECT_EQ(Utf8(state.systemDir.Text()), R"(C:\Windows\system32\)");
  EXPECT_EQ(Utf8(state.driverDir.Text()), R"(C:\windows\system32\spool\drivers\x64\)");
  EXPECT_EQ(Utf8(state.environment), "Windows x64");
  EXPECT_EQ(Utf8(state.monitorFile), "zqvmon64.dll");
  EXPECT_EQ(Utf8(state.driverFile), "zqvdrv64.dll");
  EXPECT_EQ(Utf8(state.uiFile), "zqvui64.dll");
  EXPECT_EQ(Utf8(state.helpFile), "zqvhelp.chm");
  EXPECT_EQ(state.isX64, 1);
  EXPECT_EQ(state.checkMonitorVersion, 0);
  EXPECT_EQ(state.installMonitor, 1);
  EXPECT_EQ(state.installTray, 1);
  EXPECT_EQ(state.copyMonitor, 1);
  EXPECT_EQ(state.pendingDeletes, nullptr);
  EXPECT_EQ(state.savedPrinters, nullptr);
  EXPECT_EQ(state.retargetedPrinters, nullptr);
}

TEST_F(InstallStateCreationTest, TheOptionsChooseTheFileSetAndTheTray) {
  CreateInstallState(state, OptionX64 | OptionNoTray);
  EXPECT_EQ(state.installTray, 0);
  EXPECT_EQ(state.installMonitor, 1);
  EXPECT_EQ(state.copyMonitor, 1);
  EXPECT_EQ(state.isX64, 1);

  CreateInstallState(state, 0);  // a second creation starts the record afresh
  EXPECT_EQ(Log(), JoinLines({
                       "vexaWriter 2609",
                       "#Check Spooler",
                       R"(PrinterDriverDirectory:C:\windows\system32\spool\drivers\W32X86\)",
                   }));
  EXPECT_EQ(state.installTray, 1);
  EXPECT_EQ(state.isX64, 0);
  EXPECT_EQ(Utf8(state.environment), "Windows NT x86");
  EXPECT_EQ(Utf8(state.monitorFile), "zqvmon32.dll");
  EXPECT_EQ(Utf8(state.driverFile), "zqvdrv32.dll");
  EXPECT_EQ(Utf8(state.uiFile), "zqvui32.dll");
  EXPECT_EQ(Utf8(state.helpFile), "zqvhelp.chm");
}

TEST_F(InstallStateCreationTest, ReportsBothDirectoriesAfterTheSpoolerCheck) {
  machine().FailCall("OpenSCManagerW", 1, ERROR_ACCESS_DENIED);
  machine().FailCall("GetPrinterDriverDirectoryW", 1, RPC_S_SERVER_UNAVAILABLE);
  machine().FailCall("GetSystemDirectoryW", 1, ERROR_NOT_ENOUGH_MEMORY);
  CreateInstallState(state, OptionX64);
  EXPECT_EQ(Log(),
            JoinLines({
                "vexaWriter 2609",
                "#Check Spooler",
                "  Error(1): Can't open service manager. - (Access is denied.)",
                "Error(6): Can`t retrieve printer driver directory. - (The RPC server is "
                "unavailable.)",
                "Error(7): Can`t retrieve system directory. - (Not enough memory resources are "
                "available to process this command.)",
            }));
  EXPECT_EQ(state.errorCount, 3);
  EXPECT_EQ(state.driverDir.Length(), 0u);
  EXPECT_EQ(state.systemDir.Length(), 0u);
  EXPECT_EQ(Utf8(state.helpFile), "zqvhelp.chm");
  EXPECT_EQ(Utf8(state.moduleDir.Text()), R"(C:\vexa\drv\)");
}

TEST_F(InstallStateCreationTest, AFailedSecondDirectoryCallIsReportedToo) {
  machine().FailCall("GetPrinterDriverDirectoryW", 2, ERROR_INVALID_ENVIRONMENT);
  CreateInstallState(state, OptionX64);
  EXPECT_EQ(Log(), JoinLines({
                       "vexaWriter 2609",
                       "#Check Spooler",
                       "Error(6): Can`t retrieve printer driver directory. - (The environment "
                       "specified is invalid.)",
                   }));
  EXPECT_EQ(state.driverDir.Length(), 0u);
}

TEST_F(InstallStateCreationTest, DirectoriesEndInExactlyOneBackslash) {
  struct Case {
    const char16_t* driverDirectory;
    const char16_t* systemDirectory;
    const char* driverDir;
    const char* systemDir;
  } cases[] = {
      {u"D:\\spool\\x64", u"D:\\Win\\system32", R"(D:\spool\x64\)", R"(D:\Win\system32\)"},
      {u"D:\\spool\\x64\\", u"D:\\Win\\system32\\", R"(D:\spool\x64\)", R"(D:\Win\system32\)"},
  };
  for (const Case& c : cases) {
    machine().spooler().driverDirectory = c.driverDirectory;
    process().systemDirectory = c.systemDirectory;
    CreateInstallState(state, OptionX64);
    EXPECT_EQ(Utf8(state.driverDir.Text()), c.driverDir);
    EXPECT_EQ(Utf8(state.systemDir.Text()), c.systemDir);
    EXPECT_EQ(Log(), JoinLines({"vexaWriter 2609", "#Check Spooler",
                                (std::string("PrinterDriverDirectory:") + c.driverDir).c_str()}));
  }
}

TEST_F(InstallStateCreationTest, ASystemDirectoryTooLongForItsBufferIsReported) {
  process().systemDirectory = u"C:\\" + winsim::WideText(300, u'x');
  CreateInstallState(state, OptionX64);
  EXPECT_EQ(state.systemDir.Length(), 0u);
  EXPECT_EQ(state.errorCount, 1);
  EXPECT_NE(Log().find("Error(7): Can`t retrieve system directory. - (The data area passed to a "
                       "system call is too small.)"),
            std::string::npos);
}

TEST_F(InstallStateCreationTest, TheModuleDirectoryEndsAtTheLastSeparator) {
  struct Case {
    winsim::WideText modulePath;
    const char* moduleDir;
  } cases[] = {
      {u"C:\\dir\\prog.exe", R"(C:\dir\)"},
      {u"prog.exe", ""},
      {u"C:prog.exe", "C:"},
      {u"C:\\a/b/prog.exe", R"(C:\a/b/)"},
      {u"\\\\server\\share\\prog.exe", R"(\\server\share\)"},
      // A path cut short by the 260-character buffer would give a wrong directory.
      {u"C:\\" + winsim::WideText(270, u'd') + u"\\prog.exe", ""},
  };
  for (const Case& c : cases) {
    process().modulePath = c.modulePath;
    CreateInstallState(state, OptionX64);
    EXPECT_EQ(Utf8(state.moduleDir.Text()), c.moduleDir) << Utf8(c.modulePath);
  }
}

}  // namespace
