#include "spooler/port_monitor_install.h"
#include "spooler/port_monitor_removal.h"

#include "spooler/printer_snapshot.h"
#include "files/pending_deletes.h"
#include "spooler_fixture.h"

namespace {

constexpr char kMonitorDll[] = "C:\\Windows\\system32\\zqvmon64.dll";
constexpr int kNoVersion = -1;  // a DLL without a version resource
constexpr int kNoDll = -2;

using Names = std::vector<std::string>;

class PortMonitorTest : public SpoolerStepTest {
 protected:
  PortMonitorTest() {
    state.systemDir.Assign(L"C:\\Windows\\system32\\");
    spooler().AddDriver(u"Generic / Text Only");
    files().AddFile(Widen(std::string(kModuleDir) + "zqvmon64.dll"), "monitor");
  }
  // The local port monitor, our DLL of `build` in the system directory, our monitor if asked.
  void Stage(int build, bool registered = true) {
    spooler().monitors.resize(1);
    files().Remove(Widen(kMonitorDll));
    if (build != kNoDll) files().AddFile(Widen(kMonitorDll), "old monitor");
    if (build >= 0) files().SetProductVersion(Widen(kMonitorDll), {1, 0, 0, WORD(build)});
    if (registered) {
      spooler().LoadMonitor(
          spooler().AddMonitor(u"vexaWriter:", u"zqvmon64.dll", {u"vexaWriter:"}));
    }
    state.logText.Release();
    state.errorCount = 0;
    state.installMonitor = state.copyMonitor = 1;
  }
  void Printers(const std::vector<const char*>& ports) {
    spooler().printers.clear();
    for (size_t i = 0; i < ports.size(); ++i) {
      spooler().AddPrinter(Widen("P" + std::to_string(i)), u"Generic / Text Only", Widen(ports[i]));
    }
    TakePrinterSnapshot(state.printers);
  }
  void Fail(const char* function, unsigned times, DWORD error) {
    unsigned calls = machine().CallCount(function);
    for (unsigned n = 1; n <= times; ++n) machine().FailCall(function, calls + n, error);
  }
  void Remove(unsigned refusals = 0) {
    Fail("DeleteMonitorW", refusals, ERROR_PRINT_MONITOR_IN_USE);
    MonitorList monitors = ListMonitors(state);
    RemovePortMonitor(state, monitors);
  }
  bool Has(const char* line) const {
    return Log().find(std::string(line) + "\r\n") != std::string::npos;
  }
  std::string LogFrom(const char* marker) const {
    std::string log = Log();
    size_t at = log.find(marker);
    return at == std::string::npos ? log : log.substr(log.rfind('\n', at) + 1);
  }
  Names Retargeted() const {
    Names names;
    for (PRINTER_INFO_2W** entry = state.retargetedPrinters; entry && *entry; ++entry) {
      names.push_back(Utf8((*entry)->pPrinterName));
    }
    return names;
  }
  std::string Port(DWORD index) const { return Utf8(state.printers.records[index].pPortName); }
  std::string SpoolerPort(const char* name) {
    return Utf8(spooler().FindPrinter(Widen(name))->port);
  }
};

TEST_F(PortMonitorTest, PlainUninstallRemovesTheMonitorAndItsDll) {
  Stage(2609);
  Remove();
  EXPECT_EQ(
      Log(),
      JoinLines({"#DeleteMonitor", "  ------- 2 existing monitors ----------", "  1. Local Port",
                 "  2. vexaWriter:", "  ---------------------------------------",
                 "  Port monitor is found. Index=2",
                 "  Trying to get monitor filename from MONITOR_INFO_2",
                 "  Auto calculated monitor file name: "
                 "C:\\Windows\\system32\\zqvmon64.dll",
                 "  There is no check for monitor version", "  Monitor was removed :)"}));
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(state.indent, 0);
  EXPECT_EQ(spooler().FindMonitor(u"vexaWriter:"), nullptr);
  EXPECT_FALSE(files().Exists(Widen(kMonitorDll)));
  EXPECT_EQ(state.retargetedPrinters, nullptr);
}

// During a reinstall the build of the DLL on disk decides whether anything is removed.
TEST_F(PortMonitorTest, TheBuildCheckKeepsOnlyCompatibleMonitors) {
  struct Case {
    bool registered;
    int build;
    const char* tail;  // after the path line
    BYTE installMonitor, copyMonitor;
    bool kept;
  } cases[] = {
      {true, 2607,
       "Version (2607) is compatible, proceed without uninstall\r\n"
       "  InstallMonitor == 0, CopyMonitor == 1",
       0, 1, true},
      {false, 2609,
       "Version (2609) is compatible, proceed without uninstall\r\n"
       "  InstallMonitor == 1, CopyMonitor == 0",
       1, 0, true},
      {true, 2605,
       "Version (2605) is compatible, proceed without uninstall\r\n"
       "  InstallMonitor == 0, CopyMonitor == 1",
       0, 1, true},  // the oldest compatible build
      {true, 2604,
       "Version (2604) is not supported, proceed with reinstall\r\n  Monitor was removed :)", 1, 1,
       false},
      {true, 2610,
       "Version (2610) is not supported, proceed with reinstall\r\n  Monitor was removed :)", 1, 1,
       false},
      {true, kNoVersion, "Version is unknown, proceed with reinstall\r\n  Monitor was removed :)",
       1, 1, false},
      {false, kNoDll,
       "Version is unknown, proceed with reinstall\r\n"
       "  Can't delete monitor and monitor was not found. So everything should be ok",
       1, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.build);
    Stage(c.build, c.registered);
    state.checkMonitorVersion = 1;
    Remove();
    EXPECT_EQ(LogFrom("Auto calculated"),
              "  Auto calculated monitor file name: C:\\Windows\\system32\\zqvmon64.dll\r\n  " +
                  std::string(c.tail) + "\r\n");
    EXPECT_EQ(state.installMonitor, c.installMonitor);
    EXPECT_EQ(state.copyMonitor, c.copyMonitor);
    EXPECT_EQ(spooler().FindMonitor(u"vexaWriter:") != nullptr, c.kept && c.registered);
    EXPECT_EQ(files().Exists(Widen(kMonitorDll)), c.kept);
    EXPECT_EQ(state.errorCount, 0);
  }
}

// Three attempts: at once, with the port's printers moved, after a spooler restart.
TEST_F(PortMonitorTest, ARefusedDeletionIsRetriedTwiceThenErrorTwelve) {
  for (unsigned refusals : {1u, 2u, 3u}) {
    SCOPED_TRACE(refusals);
    Stage(2609);
    Remove(refusals);
    EXPECT_TRUE(Has("  Can't delete monitor from the first try"));
    EXPECT_EQ(Has("  #Restart Spooler"), refusals >= 2);
    EXPECT_EQ(Has("  Monitor was removed :)"), refusals < 3);
    EXPECT_EQ(files().Exists(Widen(kMonitorDll)), refusals == 3);
    EXPECT_EQ(state.errorCount, refusals == 3 ? 1 : 0);
  }
  EXPECT_NE(Log().find("  Error(12): Can`t remove the port monitor 'vexaWriter:' - "),
            std::string::npos);
}

// A failed listing cannot tell whether ours is registered: the spooler's answer to the
// deletion does.
TEST_F(PortMonitorTest, AfterAFailedListingTheSpoolerTellsWhetherOursIsThere) {
  struct Case {
    bool registered;
    unsigned refusals;
    bool removed;
    int errors;
    bool dllLeft;  // only a listing that shows the monitor gone lets the DLL go without it
  } cases[] = {{true, 0, true, 0, false}, {true, 3, false, 1, true}, {false, 0, false, 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.registered ? c.refusals : 99);
    Stage(2609, c.registered);
    Fail("EnumMonitorsW", 1, RPC_S_SERVER_UNAVAILABLE);
    Remove(c.refusals);
    EXPECT_EQ(Has("  Monitor was removed :)"), c.removed);
    EXPECT_EQ(Has("  Can't delete monitor and monitor was not found. So everything should be ok"),
              !c.registered);
    EXPECT_EQ(state.errorCount, c.errors);
    EXPECT_EQ(files().Exists(Widen(kMonitorDll)), c.dllLeft);
  }
}

// Only a whole entry of a port list is our port; the install puts it back at that very entry.
TEST_F(PortMonitorTest, OurPortEntryGoesToFileAndComesBackExactly) {
  struct Case {
    const char* port;
    const char* moved;             // null: not ours, not touched
    const char* edited = nullptr;  // the record's text changed between removal and install
    bool moveFails = false;        // the spooler refuses the move
  } cases[] = {
      {"vexaWriter:", "file:"},
      {"LPT1:,vexaWriter:", "LPT1:,file:"},
      {"file:,vexaWriter:", "file:,file:"},
      {"COM1:, vexaWriter: ,LPT1:", "COM1:, file: ,LPT1:"},
      {"XvexaWriter:", nullptr},
      {"vexaWriter:x,LPT1:", nullptr},
      {"LPT1:,vexaWriter:", "LPT1:,file:", "file:,LPT1:"},
      {"vexaWriter:", "file:", nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    Stage(2609);
    Printers({"LPT1:", c.port});
    if (c.moveFails) Fail("SetPrinterW", 1, ERROR_ACCESS_DENIED);
    Remove(1);
    if (c.moveFails) {  // the port stays in use: error 12
      EXPECT_EQ(LogFrom("SetPrinter").rfind("  SetPrinter(P1) - failed\r\n  #Restart", 0), 0u);
      continue;
    }
    const char* moved = c.moved != nullptr ? c.moved : c.port;
    EXPECT_EQ(Port(1), moved);
    EXPECT_EQ(SpoolerPort("P1"), moved);
    EXPECT_EQ(Retargeted(), c.moved != nullptr ? Names{"P1"} : Names{});
    EXPECT_EQ(Has("  SetPrinter(P1) - ok"), c.moved != nullptr);
    EXPECT_EQ(spooler().FindMonitor(u"vexaWriter:"), nullptr);
    if (c.edited != nullptr) {
      std::u16string text = Widen(c.edited);
      for (size_t i = 0; i <= text.size(); ++i) state.printers.records[1].pPortName[i] = text[i];
    }
    Stage(2609, false);
    InstallPortMonitor(state);
    EXPECT_EQ(Port(1), c.edited != nullptr ? c.edited : c.port);
    EXPECT_EQ(SpoolerPort("P1"), c.edited != nullptr || c.moved == nullptr ? moved : c.port);
    EXPECT_EQ(Has("  SetPrinter(P1) - ok"), c.moved != nullptr && c.edited == nullptr);
    EXPECT_EQ(state.errorCount, 0);
  }
}

// Records of printers deleted since the snapshot still name our port: moved and recorded too.
// A connection's port is its print server's: left alone.
TEST_F(PortMonitorTest, PrintersOnOurPortAreRecordedInSnapshotOrder) {
  Stage(2609);
  Printers({"vexaWriter:", "vexaWriter:"});
  spooler().AddConnection(u"\\\\srv", u"P2", u"Generic / Text Only", u"vexaWriter:");
  TakePrinterSnapshot(state.printers);
  spooler().printers.erase(spooler().printers.begin() + 1);
  Remove();
  EXPECT_EQ(LogFrom("Can't delete"),
            JoinLines({"  Can't delete monitor from the first try", "  SetPrinter(P0) - ok",
                       "  Can't open printer P1", "  Monitor was removed :)"}));
  EXPECT_EQ(Retargeted(), (Names{"P0", "P1"}));
  EXPECT_EQ(Port(1), "file:");
  EXPECT_EQ(Port(2) + SpoolerPort("\\\\srv\\P2"), "vexaWriter:vexaWriter:");
  EXPECT_EQ(state.errorCount, 0);
}

TEST_F(PortMonitorTest, AHeldDllWaitsInThePendingListOnce) {
  Stage(2609);
  files().Hold(Widen(kMonitorDll), "process", ERROR_ACCESS_DENIED);
  AddPendingDelete(state.pendingDeletes, L"C:\\Windows\\system32\\zqvmon64.dll");
  Remove();
  EXPECT_TRUE(Has("  Monitor was removed :)"));
  ASSERT_NE(state.pendingDeletes, nullptr);
  EXPECT_EQ(Utf8(state.pendingDeletes->path), kMonitorDll);
  EXPECT_EQ(state.pendingDeletes->next, nullptr);
}

TEST_F(PortMonitorTest, ARecordWithoutDllNameDeletesNothing) {
  Stage(2609);
  spooler().monitors[1].dllName.clear();
  Remove();
  EXPECT_TRUE(Has("  Auto calculated monitor file name: C:\\Windows\\system32\\"));
  // Nor does a name without the system directory, which the working directory would complete.
  for (bool registered : {true, false}) {
    Stage(2609, registered);
    state.systemDir.Release();
    Remove();
  }
  EXPECT_EQ(machine().CallCount("DeleteFileW"), 0u);
}

TEST_F(PortMonitorTest, InstallCopiesTheDllUnlessToldToSkip) {
  for (BYTE copy : {1, 0}) {
    Stage(2609, false);
    state.copyMonitor = copy;
    InstallPortMonitor(state);
    EXPECT_EQ(Log(), copy ? JoinLines({"#AddMonitor", "  Copy monitor file",
                                       "    CopyFile zqvmon64.dll to C:\\Windows\\system32\\)- OK",
                                       "  AddMonitor - OK :)"})
                          : JoinLines({"#AddMonitor", "  Skip copy monitor file",
                                       "  AddMonitor - OK :)"}));
    EXPECT_EQ(files().Contents(Widen(kMonitorDll)).find("old monitor") == 0, copy == 0);
    ASSERT_NE(spooler().FindMonitor(u"vexaWriter:"), nullptr);
    EXPECT_EQ(spooler().FindMonitor(u"vexaWriter:")->dllName, u"zqvmon64.dll");
    EXPECT_EQ(state.errorCount, 0);
  }
  // An old DLL the spooler still holds is replaced with the spooler stopped, without an error.
  Stage(2604, false);
  files().HoldAsLoadedModule(Widen(kMonitorDll), "spooler");
  InstallPortMonitor(state);
  const char* copy = "    CopyFile zqvmon64.dll to C:\\Windows\\system32\\)";
  EXPECT_EQ(Log(), "#AddMonitor\r\n  Copy monitor file\r\n" + std::string(copy) +
                       " Cant't open destination file- FAILED!\r\n  #Restart Spooler\r\n" + copy +
                       "- OK\r\n  AddMonitor - OK :)\r\n");
  EXPECT_EQ(state.errorCount, 0);
}

// Five attempts 50 ms apart; after the fifth failure the moved printers stay on "file:".
TEST_F(PortMonitorTest, AddMonitorIsTriedFiveTimes) {
  for (unsigned failures : {4u, 5u}) {
    SCOPED_TRACE(failures);
    Stage(2609);
    Printers({"vexaWriter:"});
    Remove();
    Stage(2609, false);
    state.copyMonitor = 0;
    Fail("AddMonitorW", failures, ERROR_ACCESS_DENIED);
    uint64_t before = machine().ElapsedMilliseconds();
    InstallPortMonitor(state);
    std::string expected = JoinLines({"#AddMonitor", "  Skip copy monitor file"});
    for (unsigned n = 0; n < failures; ++n) {
      expected += "  AddMonitor - failed. Trying to wait and install again\r\n";
    }
    expected += failures == 4 ? JoinLines({"  AddMonitor - OK :)", "  SetPrinter(P0) - ok"})
                              : JoinLines({"  Error(11): Can`t install a local port "
                                           "monitor'vexaWriter:' - (Access is denied.)"});
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(machine().ElapsedMilliseconds() - before, 4u * 50u);
    EXPECT_EQ(SpoolerPort("P0"), failures == 4 ? "vexaWriter:" : "file:");
  }
}

// A monitor a refused removal left registered counts as added when its DLL is ours.
TEST_F(PortMonitorTest, AMonitorLeftRegisteredCountsAsAddedWhenItsDllIsOurs) {
  for (const char16_t* dll : {u"ZQVMON64.DLL", u"other.dll"}) {
    bool ours = dll[0] == u'Z';
    Stage(2609);
    Printers({"vexaWriter:"});
    Remove(3);
    spooler().monitors[1].dllName = dll;
    state.copyMonitor = 0;
    InstallPortMonitor(state);
    EXPECT_EQ(Has("  AddMonitor - already installed :)"), ours);
    EXPECT_EQ(Has("  Error(11): Can`t install a local port monitor'vexaWriter:' - (The specified "
                  "print monitor has already been installed.)"),
              !ours);
    EXPECT_EQ(SpoolerPort("P0"), ours ? "vexaWriter:" : "file:");
  }
}

}  // namespace
