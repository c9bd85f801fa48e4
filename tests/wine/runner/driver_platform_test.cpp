// The stand-in driver files under the platform's spooler: the driver is added from them, and a
// printer of it on our port makes the spooler load the UI DLL and take its device settings.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include "foundation/handles.h"
#include "runner_support.h"

namespace {

const WCHAR kEnvironment[] = L"Windows x64";
const WCHAR kDriver[] = L"vexaWriter printer";
const WCHAR kPrinter[] = L"vexaWriter runner";

WString DriverDirectory() {
  WCHAR directory[MAX_PATH + 1] = {};
  DWORD needed = 0;
  WString result;
  if (GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(kEnvironment), 1,
                                 reinterpret_cast<LPBYTE>(directory), sizeof(directory), &needed)) {
    result.Assign(directory);
    result.Append(L"\\");
  }
  return result;
}

class DriverPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MONITOR_INFO_2W monitor = {};
    monitor.pName = const_cast<LPWSTR>(L"vexaWriter:");
    monitor.pEnvironment = const_cast<LPWSTR>(kEnvironment);
    monitor.pDLLName = const_cast<LPWSTR>(L"zqvmon64.dll");
    ASSERT_TRUE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&monitor)))
        << "error " << GetLastError();
    driverDir_ = DriverDirectory();
    ASSERT_NE(driverDir_.Length(), 0u);
  }
  void TearDown() override {
    DeleteMonitorW(nullptr, const_cast<LPWSTR>(kEnvironment), const_cast<LPWSTR>(L"vexaWriter:"));
  }

  WString Staged(const WCHAR* file) {
    WString path = driverDir_.Copy();
    path.Append(file);
    WString drvFile;
    drvFile.Format(L"drv\\%s", file);
    EXPECT_TRUE(CopyFileW(PackagePath(drvFile.Text()).Text(), path.Text(), FALSE))
        << Utf8(path.Text());
    return path;
  }

  WString driverDir_;
};

TEST_F(DriverPlatformTest, PrinterOfTheStandInDriverTakesItsSettings) {
  WString render = Staged(L"zqvdrv64.dll");
  WString ui = Staged(L"zqvui64.dll");
  WString help = Staged(L"zqvhelp.chm");
  DRIVER_INFO_6W driver = {};
  driver.cVersion = 3;
  driver.pName = const_cast<LPWSTR>(kDriver);
  driver.pEnvironment = const_cast<LPWSTR>(kEnvironment);
  driver.pDriverPath = render.Data();
  driver.pDataFile = render.Data();
  driver.pConfigFile = ui.Data();
  driver.pHelpFile = help.Data();
  ASSERT_TRUE(
      AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&driver), APD_COPY_ALL_FILES))
      << "error " << GetLastError();

  PRINTER_INFO_2W printer = {};
  printer.pPrinterName = const_cast<LPWSTR>(kPrinter);
  printer.pPortName = const_cast<LPWSTR>(L"vexaWriter:");
  printer.pDriverName = const_cast<LPWSTR>(kDriver);
  printer.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
  printer.pDatatype = const_cast<LPWSTR>(L"RAW");
  UniquePrinter added(AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&printer)));
  ASSERT_TRUE(added.valid()) << "error " << GetLastError();
  added.reset();

  UniquePrinter opened;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), opened.put(), nullptr));
  EXPECT_EQ(
      DocumentPropertiesW(nullptr, opened.get(), const_cast<LPWSTR>(kPrinter), nullptr, nullptr, 0),
      static_cast<LONG>(sizeof(DEVMODEW)));
  DEVMODEW settings = {};
  EXPECT_EQ(DocumentPropertiesW(nullptr, opened.get(), const_cast<LPWSTR>(kPrinter), &settings,
                                nullptr, DM_OUT_BUFFER),
            IDOK);
  EXPECT_EQ(settings.dmPaperSize, DMPAPER_A4);
  EXPECT_EQ(Utf8(settings.dmDeviceName), Utf8(kPrinter));
  opened.reset();

  UniquePrinter doomed;
  PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), doomed.put(), &access));
  EXPECT_TRUE(DeletePrinter(doomed.get()));
  doomed.reset();
  EXPECT_TRUE(DeletePrinterDriverExW(nullptr, const_cast<LPWSTR>(kEnvironment),
                                     const_cast<LPWSTR>(kDriver), 0, 0));
}

}  // namespace
