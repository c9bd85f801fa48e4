#include "spooler/monitor_list.h"

#include "spooler/driver_list.h"
#include "spooler_fixture.h"

namespace {

class MonitorListTest : public SpoolerStepTest {};

struct NameCase {
  const WCHAR* name;
  bool ours;
};

// Our objects are known by their whole name, exactly as written.
TEST_F(MonitorListTest, OurMonitorAndDriverAreFoundByTheirExactNameOnly) {
  const NameCase monitorCases[] = {
      {L"vexaWriter:", true},
      {L"vexawriter:", false},
      {L"VEXAWRITER:", false},
      {L"vexaWriter: ", false},
      {L"vexaWriter:x", false},
      {L"vexaWriter", false},
      {L"", false},
      {nullptr, false},
  };
  for (const NameCase& c : monitorCases) {
    MonitorList list;
    list.records = NamedRecords<MONITOR_INFO_2W>({L"Local Port", c.name});
    list.count = 2;
    EXPECT_EQ(FindOurMonitor(list), c.ours ? 1 : -1) << Utf8(c.name);
  }
  const NameCase driverCases[] = {
      {L"vexaWriter printer", true},   {L"VexaWriter printer", false},
      {L"vexaWriter printer ", false}, {L"vexaWriter printer 2", false},
      {L"vexaWriter", false},          {nullptr, false},
  };
  for (const NameCase& c : driverCases) {
    DriverList list;
    list.records = NamedRecords<DRIVER_INFO_6W>({c.name, L"Generic / Text Only"});
    list.count = 2;
    EXPECT_EQ(FindOurDriver(list), c.ours ? 0 : -1) << Utf8(c.name);
  }
}

TEST_F(MonitorListTest, TheFirstMatchCountsAndNamelessRecordsAreSkipped) {
  MonitorList monitors;
  monitors.records =
      NamedRecords<MONITOR_INFO_2W>({L"Local Port", nullptr, L"vexaWriter:", L"vexaWriter:"});
  monitors.count = 4;
  EXPECT_EQ(FindOurMonitor(monitors), 2);
  monitors.count = 2;  // only the records before ours are counted in
  EXPECT_EQ(FindOurMonitor(monitors), -1);

  DriverList drivers;
  drivers.records = NamedRecords<DRIVER_INFO_6W>({L"A", L"B", L"vexaWriter printer"});
  drivers.count = 3;
  EXPECT_EQ(FindOurDriver(drivers), 2);
}

// The records are read by the list's level: the name sits at another offset at level 1.
TEST_F(MonitorListTest, RecordsAreReadByTheirLevel) {
  const std::vector<const WCHAR*> monitorNames = {L"Local Port", L"vexaWriter:"};
  struct {
    DWORD level;
    UniqueGlobalBlock records;
    int expected;
  } monitorCases[] = {
      {1, NamedRecords<MONITOR_INFO_1W>(monitorNames), 1},
      {2, NamedRecords<MONITOR_INFO_2W>(monitorNames), 1},
      {3, NamedRecords<MONITOR_INFO_2W>(monitorNames), -1},
  };
  for (auto& c : monitorCases) {
    MonitorList list;
    list.records = std::move(c.records);
    list.level = c.level;
    list.count = 2;
    EXPECT_EQ(FindOurMonitor(list), c.expected) << "level " << c.level;
  }

  const std::vector<const WCHAR*> driverNames = {L"Generic", L"vexaWriter printer"};
  struct {
    DWORD level;
    UniqueGlobalBlock records;
    int expected;
  } driverCases[] = {
      {1, NamedRecords<DRIVER_INFO_1W>(driverNames), 1},
      {2, NamedRecords<DRIVER_INFO_2W>(driverNames), 1},
      {3, NamedRecords<DRIVER_INFO_3W>(driverNames), 1},
      {4, NamedRecords<DRIVER_INFO_4W>(driverNames), 1},
      {5, NamedRecords<DRIVER_INFO_5W>(driverNames), 1},
      {6, NamedRecords<DRIVER_INFO_6W>(driverNames), 1},
      {7, NamedRecords<DRIVER_INFO_6W>(driverNames), -1},
  };
  for (auto& c : driverCases) {
    DriverList list;
    list.records = std::move(c.records);
    list.level = c.level;
    list.count = 2;
    EXPECT_EQ(FindOurDriver(list), c.expected) << "level " << c.level;
  }
}

TEST_F(MonitorListTest, ListsTheSpoolersMonitorsQuietly) {
  spooler().AddMonitor(u"vexaWriter:", u"zqvmon64.dll", {u"vexaWriter:"});
  MonitorList list = ListMonitors(state);
  ASSERT_EQ(list.count, 2u);
  EXPECT_EQ(list.level, 2u);
  EXPECT_EQ(FindOurMonitor(list), 1);
  auto* records = static_cast<MONITOR_INFO_2W*>(list.records.get());
  EXPECT_EQ(Utf8(records[1].pDLLName), "zqvmon64.dll");
  EXPECT_EQ(Log(), "");
  state.indent = 1;
  LogMonitorList(state, list);
  EXPECT_EQ(Log(), JoinLines({
                       "  ------- 2 existing monitors ----------",
                       "  1. Local Port",
                       "  2. vexaWriter:",
                       "  ---------------------------------------",
                   }));
}

TEST_F(MonitorListTest, ANamelessMonitorIsListedAsEmpty) {
  MonitorList list;
  list.records = NamedRecords<MONITOR_INFO_2W>({nullptr});
  list.count = 1;
  LogMonitorList(state, list);
  EXPECT_EQ(Log(), JoinLines({"------- 1 existing monitors ----------", "1. ***EMPTY***",
                              "---------------------------------------"}));
}

// Each way the listing can fail leaves an empty list and one line; the system's text is
// inserted as the system gives it, line end included.
TEST(MonitorListFailureTest, EachFailureWritesItsOwnLine) {
  struct Case {
    const char* what;
    void (*stage)(winsim::Machine&);
    const char* log;
    DWORD lastError;  // checked when not 0
  } cases[] = {
      {"no monitors at all", [](winsim::Machine& m) { m.spooler().monitors.clear(); },
       "1. EnumMonitors returns true\r\n", 0},
      {"spooler stopped", [](winsim::Machine& m) { m.spooler().Stop(); },
       "2. EnumMonitors  failed with code: The RPC server is unavailable.\r\n\r\n", 0},
      {"error without a text",
       [](winsim::Machine& m) { m.FailCall("EnumMonitorsW", 1, 0x20001234); },
       "2. EnumMonitors  failed with code: No Error or no description\r\n", 0},
      {"no memory", [](winsim::Machine& m) { m.FailCall("GlobalAlloc", 1, ERROR_OUTOFMEMORY); },
       "3. EnumMonitors - can't allocate memory for buffer\r\n", static_cast<DWORD>(E_OUTOFMEMORY)},
      {"monitor added between the calls",
       [](winsim::Machine& m) { m.FailCall("EnumMonitorsW", 2, ERROR_INSUFFICIENT_BUFFER); },
       "3. EnumMonitors  failed with code: The data area passed to a system call is too "
       "small.\r\n\r\n",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    winsim::Machine machine;
    InstallState local;
    c.stage(machine);
    MonitorList list = ListMonitors(local);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.records.get(), nullptr);
    if (c.lastError != 0) {
      EXPECT_EQ(GetLastError(), c.lastError);
    }
    EXPECT_EQ(Utf8(local.logText.Text()), c.log);
    local.logText.Release();
    EXPECT_EQ(machine.OutstandingGlobalBlocks(), 0u);
    EXPECT_EQ(machine.OutstandingLocalBlocks(), 0u);
  }
}

}  // namespace
