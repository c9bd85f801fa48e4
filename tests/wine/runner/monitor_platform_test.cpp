// The stand-in port monitor under the platform's spooler: it can be added from the system
// directory, is listed, serves its port, and can be deleted again.
//
// Until the installer's own monitor listing is available here, the spooler is asked directly.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include "foundation/handles.h"
#include "runner_support.h"

namespace {

const WCHAR kMonitor[] = L"vexaWriter:";
const WCHAR kEnvironment[] = L"Windows x64";

// One level-2 monitor record, copied out of the spooler's listing.
struct ListedMonitor {
  bool found = false;
  std::string environment;
  std::string dllName;
};

ListedMonitor FindListedMonitor(const WCHAR* name) {
  ListedMonitor result;
  DWORD needed = 0;
  DWORD count = 0;
  if (EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return result;
  }
  UniqueGlobalBlock block(AllocateZeroedGlobal(needed));
  if (!block ||
      !EnumMonitorsW(nullptr, 2, static_cast<LPBYTE>(block.get()), needed, &needed, &count)) {
    return result;
  }
  auto* records = static_cast<MONITOR_INFO_2W*>(block.get());
  for (DWORD i = 0; i < count; ++i) {
    if (records[i].pName == nullptr || lstrcmpW(records[i].pName, name) != 0) continue;
    result.found = true;
    result.environment = Utf8(records[i].pEnvironment);
    result.dllName = Utf8(records[i].pDLLName);
  }
  return result;
}

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
};

TEST_F(MonitorPlatformTest, AddsListsServesItsPortAndDeletes) {
  ASSERT_TRUE(AddOurMonitor()) << "error " << GetLastError();

  ListedMonitor listed = FindListedMonitor(kMonitor);
  ASSERT_TRUE(listed.found);
  EXPECT_EQ(listed.dllName, "zqvmon64.dll");
  // Wine 8.0 reports every monitor's environment as "Windows NT x86"; Windows reports the
  // environment the monitor was added for.
  EXPECT_EQ(listed.environment, RunningOnWine() ? "Windows NT x86" : "Windows x64");

  EXPECT_EQ(PortsOfMonitor("vexaWriter:"), std::vector<std::string>{"vexaWriter:"});

  SetLastError(0);
  EXPECT_FALSE(AddOurMonitor());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));

  EXPECT_TRUE(
      DeleteMonitorW(nullptr, const_cast<LPWSTR>(kEnvironment), const_cast<LPWSTR>(kMonitor)));
  EXPECT_FALSE(FindListedMonitor(kMonitor).found);
}

}  // namespace
