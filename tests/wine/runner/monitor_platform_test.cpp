// The stand-in port monitor under the platform's spooler: once added from the system directory
// the installer's monitor listing finds it, the spooler lists its port, and it can be deleted.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include "foundation/handles.h"
#include "foundation/install_state.h"
#include "runner_support.h"
#include "spooler/monitor_list.h"

namespace {

const WCHAR kMonitor[] = L"vexaWriter:";
const WCHAR kEnvironment[] = L"Windows x64";

std::vector<std::string> PortsOfMonitor(const char* monitor) {
  std::vector<std::string> ports;
  DWORD needed = 0;
  DWORD count = 0;
  if (EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return ports;
  }
  UniqueGlobalBlock block(AllocateZeroedGlobal(needed));
  if (!block ||
      !EnumPortsW(nullptr, 2, static_cast<LPBYTE>(block.get()), needed, &needed, &count)) {
    return ports;
  }
  auto* records = static_cast<PORT_INFO_2W*>(block.get());
  for (DWORD i = 0; i < count; ++i) {
    if (Utf8(records[i].pMonitorName) == monitor) ports.push_back(Utf8(records[i].pPortName));
  }
  return ports;
}

bool AddOurMonitor() {
  MONITOR_INFO_2W info = {};
  info.pName = const_cast<LPWSTR>(kMonitor);
  info.pEnvironment = const_cast<LPWSTR>(kEnvironment);
  info.pDLLName = const_cast<LPWSTR>(L"zqvmon64.dll");
  return AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
}

class MonitorPlatformTest : public ::testing::Test {
 protected:
  void TearDown() override {
    DeleteMonitorW(nullptr, const_cast<LPWSTR>(kEnvironment), const_cast<LPWSTR>(kMonitor));
  }

  InstallState state_;
};

TEST_F(MonitorPlatformTest, IsListedFoundServesItsPortAndIsDeleted) {
  ASSERT_TRUE(AddOurMonitor()) << "error " << GetLastError();

  MonitorList list = ListMonitors(state_);
  int index = FindOurMonitor(list);
  ASSERT_GE(index, 0);
  const auto* records = static_cast<const MONITOR_INFO_2W*>(list.records.get());
  EXPECT_EQ(Utf8(records[index].pDLLName), "zqvmon64.dll");
  // Wine 8.0 reports every monitor's environment as "Windows NT x86"; Windows reports the
  // environment the monitor was added for.
  EXPECT_EQ(Utf8(records[index].pEnvironment), RunningOnWine() ? "Windows NT x86" : "Windows x64");
  LogMonitorList(state_, list);
  std::string log = Utf8(state_.logText.Text());
  EXPECT_NE(log.find("\r\n" + std::to_string(index + 1) + ". vexaWriter:\r\n"), std::string::npos)
      << log;

  EXPECT_EQ(PortsOfMonitor("vexaWriter:"), std::vector<std::string>{"vexaWriter:"});

  SetLastError(0);
  EXPECT_FALSE(AddOurMonitor());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));

  EXPECT_TRUE(
      DeleteMonitorW(nullptr, const_cast<LPWSTR>(kEnvironment), const_cast<LPWSTR>(kMonitor)));
  EXPECT_EQ(FindOurMonitor(ListMonitors(state_)), -1);
}

}  // namespace
