// The query modes under the platform's spooler, with the stand-in driver: the build is read
// from the spooler's own copy of the render DLL, and the default printer is read and set
// through the spooler library's ordinals.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include "foundation/handles.h"
#include "foundation/install_state.h"
#include "state_lifecycle.h"
#include "queries/queries.h"
#include "runner_support.h"
#include "spooler/printer_driver.h"

namespace {

LPWSTR Mutable(const WCHAR* text) {
  return const_cast<LPWSTR>(text);
}

class QueriesPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MONITOR_INFO_2W monitor = {Mutable(L"vexaWriter:"), Mutable(L"Windows x64"),
                               Mutable(L"zqvmon64.dll")};
    ASSERT_TRUE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&monitor)))
        << "error " << GetLastError();
    ChooseFileSet(state_, true);
    state_.moduleDir = PackagePath(L"drv\\");
    InstallPrinterDriver(state_);
    ASSERT_EQ(state_.errorCount, 0) << Utf8(state_.logText.Text());
    state_.logText.Release();
  }
  void TearDown() override {
    PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    UniquePrinter printer;
    if (OpenPrinterW(Mutable(L"vexaWriter Q"), printer.put(), &access))
      DeletePrinter(printer.get());
    DeletePrinterDriverExW(nullptr, Mutable(L"Windows x64"), Mutable(L"vexaWriter printer"), 0, 0);
    DeleteMonitorW(nullptr, Mutable(L"Windows x64"), Mutable(L"vexaWriter:"));
  }

  InstallState state_;
};

TEST_F(QueriesPlatformTest, TheQueriesReadOurPrinterAndItsDriver) {
  EXPECT_FALSE(QueryDriverBuild()) << "no printer of ours yet";
  PRINTER_INFO_2W info = {};
  info.pPrinterName = Mutable(L"vexaWriter Q");
  info.pPortName = Mutable(L"vexaWriter:");
  info.pDriverName = Mutable(L"vexaWriter printer");
  info.pPrintProcessor = Mutable(L"winprint");
  info.pDatatype = Mutable(L"RAW");  // Wine 8.0 refuses a printer without one
  ASSERT_TRUE(UniquePrinter(AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))))
      << "error " << GetLastError();

  EXPECT_TRUE(QueryDriverBuild()) << "the stand-in driver is build 2609";
  SetOurPrinterDefault();
  WCHAR name[260] = {};
  DWORD capacity = 260;
  ASSERT_TRUE(GetDefaultPrinterW(name, &capacity)) << "error " << GetLastError();
  EXPECT_EQ(Utf8(name), "vexaWriter Q");
  EXPECT_FALSE(QueryDefaultNotOurs());
}

}  // namespace
