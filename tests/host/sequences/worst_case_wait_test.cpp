// Each mode with every retry exhausted, and another run holding the run lock as long as it
// may, stays within the wait bound the README gives it.
#include "files/pending_rename_value.h"
#include "run_lock.h"
#include "sequence_fixture.h"
#include "winsim/other_run.h"
#include "wait_bounds.h"

namespace {

static_assert(wait_bounds::kRunLock == kRunLockWaitMs, "the lock's wait is the program's");
static_assert(kLongestLockedRunMs >= wait_bounds::ForMode("install") - wait_bounds::kRunLock,
              "the lock waits for the longest install");

class WorstCaseWaitTest : public SequenceTest {
 public:  // the stagings are named by member pointers in the test body
  // Our old monitor and our driver in place; no file of ours can be deleted, the monitor DLL
  // and the staged help file cannot be written, the staged driver and UI files only at the
  // last attempt; driver and monitor only go after a spooler
  // restart, the monitor is never added; a help window and a companion that never close, no
  // Run value; the spooler is as slow as its polls allow, each time.
  void EverythingStuck() {
    Run("in_notray");
    files().SetProductVersion(kSystemMonitorDll, {1, 0, 0, 2604});
    const WideText help = u"C:\\windows\\system32\\spool\\drivers\\x64\\zqvhelp.chm";
    if (!files().Exists(help)) files().AddFile(help, "old help");
    files().Hold(help, "process", ERROR_ACCESS_DENIED);
    for (const char16_t* name : {u"zqvdrv64.dll", u"zqvui64.dll"}) {  // written at the last try
      files().AddFile(help.substr(0, help.size() - 11) + name, "old copy");
      files().HoldForRefusals(help.substr(0, help.size() - 11) + name, 99, ERROR_ACCESS_DENIED);
    }
    files().Hold(kSystemMonitorDll, "process", ERROR_ACCESS_DENIED);
    machine().FailCallsFrom("DeleteFileW", machine().CallCount("DeleteFileW") + 1,
                            ERROR_ACCESS_DENIED);
    unsigned driverDeletes = machine().CallCount("DeletePrinterDriverExW");
    machine().FailCall("DeletePrinterDriverExW", driverDeletes + 1, ERROR_PRINTER_DRIVER_IN_USE);
    unsigned monitorDeletes = machine().CallCount("DeleteMonitorW");
    machine().FailCall("DeleteMonitorW", monitorDeletes + 1, ERROR_ACCESS_DENIED);
    machine().FailCall("DeleteMonitorW", monitorDeletes + 2, ERROR_ACCESS_DENIED);
    machine().FailCallsFrom("AddMonitorW", machine().CallCount("AddMonitorW") + 1,
                            ERROR_ACCESS_DENIED);
    desktop().AddWindow(u"HH Parent", u"vexaWriter Help");
    winsim::TrayCompanion companion;
    companion.onQuit = winsim::TrayCompanion::OnQuit::Ignore;
    companion.RunAt(machine(), kTrayPath);
    winsim::Service& service = machine().services().Spooler();
    service.state = SERVICE_STOPPED;
    service.startDelayMs = service.stopDelayMs = 9999;
  }
  // The same as the system account, with a companion that never quits in three sessions: they
  // are waited for side by side. (The help window is in a session the system account does not
  // see, so only the modes without that wait reach their bound this way.)
  void EverySessionStuck() {
    EverythingStuck();
    winsim::Processes& processes = machine().processes();
    winsim::TrayCompanion companion;
    companion.onQuit = winsim::TrayCompanion::OnQuit::Ignore;
    for (DWORD session : {2u, 3u}) {
      processes.LogOn(session, session == 2 ? WTSActive : WTSDisconnected,
                      winsim::Token::StandardUser());
      companion.RunAs(machine(), kTrayPath, *processes.FindSession(session)->user);
    }
    processes.token = winsim::Token::SystemAccount();
  }
  // The same with a spooler that, once asked to stop, never does.
  void SpoolerNeverStops() {
    EverythingStuck();
    machine().services().Spooler().neverStops = true;
  }
  // Our driver files pending at every pass of the post-reboot check, the spooler running.
  void FilesPendingForGood() {
    EverythingStuck();
    machine().services().Spooler().state = SERVICE_RUNNING;
    pending_rename_value::SetStrings(
        {u"\\??\\C:\\Windows\\System32\\spool\\drivers\\x64\\3\\zqvdrv64.dll", u""});
  }
};

TEST_F(WorstCaseWaitTest, EveryModeStaysWithinItsBound) {
  struct Case {
    const char* mode;
    void (WorstCaseWaitTest::*stage)();
    bool reachesBound;  // every wait of the bound is made in full
  } cases[] = {
      {"install", &WorstCaseWaitTest::EverythingStuck, true},
      {"install", &WorstCaseWaitTest::SpoolerNeverStops, false},
      {"in_notray", &WorstCaseWaitTest::EverythingStuck, true},
      {"uninstall", &WorstCaseWaitTest::EverythingStuck, true},
      {"uninstall", &WorstCaseWaitTest::SpoolerNeverStops, false},
      {"removetray", &WorstCaseWaitTest::EverythingStuck, true},
      {"removetray", &WorstCaseWaitTest::EverySessionStuck, true},
      {"onInit", &WorstCaseWaitTest::FilesPendingForGood, true},
      {"onChkDrv", &WorstCaseWaitTest::EverythingStuck, true},
      {"def.set", &WorstCaseWaitTest::EverythingStuck, true},
      {"", &WorstCaseWaitTest::EverythingStuck, true},
  };
  for (const Case& c : cases) {
    StartOver();
    (this->*c.stage)();
    uint64_t start = machine().ElapsedMilliseconds();
    std::string mode = c.mode;
    if (mode == "install" || mode == "in_notray" || mode == "uninstall" || mode == "removetray") {
      // Another run lets go of the lock just as the wait for it would run out.
      winsim::OtherRun other;
      other.at =
          start + (mode == "removetray" ? 0 : wait_bounds::kHelpWindows) + wait_bounds::kRunLock;
      other.Start(machine());
    }
    RunLogged(c.mode);
    uint64_t waited = machine().ElapsedMilliseconds() - start;
    uint64_t bound = wait_bounds::ForMode(c.mode);
    EXPECT_LE(waited, bound) << c.mode;
    if (c.reachesBound) {
      EXPECT_EQ(waited, bound) << c.mode << ": the bound is not the worst case";
    }
  }
}

}  // namespace
