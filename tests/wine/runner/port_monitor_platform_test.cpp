// The port monitor's installation and removal through the platform's spooler: the monitor is
// added from the system directory, found again by the removal, deleted, and its DLL with it.
#include <gtest/gtest.h>
#include <windows.h>

#include "foundation/install_state.h"
#include "runner_support.h"
#include "spooler/file_copy.h"
#include "spooler/monitor_list.h"
#include "spooler/port_monitor_install.h"
#include "spooler/port_monitor_removal.h"

namespace {

TEST(PortMonitorPlatformTest, IsAddedAndRemovedWithItsDll) {
  InstallState state;
  WString moduleDir = PackagePath(L"drv\\");
  state.moduleDir.Assign(moduleDir.Text());
  WCHAR systemDir[MAX_PATH + 1] = {};
  UINT length = GetSystemDirectoryW(systemDir, MAX_PATH);
  ASSERT_GT(length, 0u);
  lstrcatW(systemDir, L"\\");
  state.systemDir.Assign(systemDir);
  state.environment = L"Windows x64";
  state.monitorFile = L"zqvmon64.dll";
  state.installMonitor = state.copyMonitor = 1;

  InstallPortMonitor(state);
  std::string log = Utf8(state.logText.Text());
  EXPECT_NE(log.find("  AddMonitor - OK :)\r\n"), std::string::npos) << log;
  EXPECT_EQ(state.errorCount, 0) << log;

  state.logText.Release();
  {
    MonitorList monitors = ListMonitors(state);
    RemovePortMonitor(state, monitors);
  }
  log = Utf8(state.logText.Text());
  EXPECT_NE(log.find("  Monitor was removed :)\r\n"), std::string::npos) << log;
  EXPECT_EQ(state.errorCount, 0) << log;
  EXPECT_EQ(FindOurMonitor(ListMonitors(state)), -1);
  // Once the spooler has let go of the DLL it is deleted at once.
  WString dll = state.systemDir.Copy();
  dll.Append(state.monitorFile);
  EXPECT_EQ(GetFileAttributesW(dll.Text()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(state.pendingDeletes, nullptr);

  // The prefix as it was found: the DLL back in the system directory for the other tests.
  EXPECT_EQ(CopyIntoDirectory(state, systemDir, state.monitorFile, nullptr, false), S_OK);
}

}  // namespace
