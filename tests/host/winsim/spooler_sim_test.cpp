#include <winspool.h>

#include <vector>

#include "test_support.h"
#include "winsim/files.h"
#include "winsim/spooler.h"

namespace {

using winsim::Spooler;

LPWSTR W(const char16_t* text) {
  return const_cast<LPWSTR>(reinterpret_cast<const WCHAR*>(text));
}

class SpoolerSimTest : public MachineTest {
 protected:
  SpoolerSimTest() {
    spooler().AddDriver(u"Generic / Text Only");
    spooler().AddMonitor(u"vexaWriter:", u"zqvmon64.dll", {u"vexaWriter:"});
    spooler().AddPrinter(u"Laser", u"Generic / Text Only", u"LPT1:").comment = u"hall";
    spooler().AddPrinter(u"Second", u"Generic / Text Only", u"FILE:");
  }
  Spooler& spooler() { return machine().spooler(); }
  winsim::FileSystem& files() { return machine().files(); }

  HANDLE Open(const char16_t* name, ACCESS_MASK access) {
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
    HANDLE handle = nullptr;
    EXPECT_TRUE(OpenPrinterW(W(name), &handle, access != 0 ? &defaults : nullptr));
    return handle;
  }
};

// Each string a record points to lies in the caller's buffer, behind all the records.
void ExpectInStringArea(const void* text, const std::vector<BYTE>& buffer, size_t recordBytes) {
  const BYTE* pointer = static_cast<const BYTE*>(text);
  ASSERT_NE(pointer, nullptr);
  EXPECT_GE(pointer, buffer.data() + recordBytes);
  EXPECT_LT(pointer, buffer.data() + buffer.size());
}

TEST_F(SpoolerSimTest, EnumerationsFillTheCallersBufferWithRecordsThenStrings) {
  DWORD needed = 0;
  DWORD count = 99;
  SetLastError(0);
  EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(count, 0u);
  std::vector<BYTE> buffer(needed);
  EXPECT_FALSE(
      EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed - 1, &needed, &count));
  EXPECT_EQ(needed, buffer.size()) << "the needed size does not change";
  ASSERT_TRUE(
      EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count));
  ASSERT_EQ(count, 2u);
  auto* printers = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    for (LPWSTR text : {printers[i].pPrinterName, printers[i].pPortName, printers[i].pDriverName,
                        printers[i].pComment, printers[i].pPrintProcessor, printers[i].pDatatype}) {
      ExpectInStringArea(text, buffer, 2 * sizeof(PRINTER_INFO_2W));
    }
  }
  EXPECT_EQ(Utf8(printers[0].pComment), "hall");
  EXPECT_EQ(Utf8(printers[1].pPortName), "FILE:");
  EXPECT_EQ(printers[0].pServerName, nullptr);

  EXPECT_TRUE(EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count) == FALSE);
  buffer.assign(needed, 0);
  ASSERT_TRUE(EnumMonitorsW(nullptr, 2, buffer.data(), needed, &needed, &count));
  auto* monitors = reinterpret_cast<MONITOR_INFO_2W*>(buffer.data());
  EXPECT_EQ(Utf8(monitors[1].pName), "vexaWriter:");
  EXPECT_EQ(Utf8(monitors[1].pEnvironment), "Windows x64");
  ExpectInStringArea(monitors[1].pDLLName, buffer, 2 * sizeof(MONITOR_INFO_2W));

  for (DWORD level = 1; level <= 6; ++level) {
    EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, level, nullptr, 0, &needed, &count));
    buffer.assign(needed, 0);
    ASSERT_TRUE(
        EnumPrinterDriversW(nullptr, nullptr, level, buffer.data(), needed, &needed, &count));
    auto* driver = reinterpret_cast<DRIVER_INFO_1W*>(buffer.data());
    if (level > 1)
      driver = reinterpret_cast<DRIVER_INFO_1W*>(
          &reinterpret_cast<DRIVER_INFO_2W*>(buffer.data())->pName);
    EXPECT_EQ(Utf8(driver->pName), "Generic / Text Only") << level;
  }
  auto* six = reinterpret_cast<DRIVER_INFO_6W*>(buffer.data());
  EXPECT_EQ(Utf8(six->pDriverPath), "C:\\windows\\system32\\spool\\drivers\\x64\\3\\unidrv.dll");
  EXPECT_EQ(six->pHelpFile, nullptr);
}

TEST_F(SpoolerSimTest, EnumerationArgumentsAreChecked) {
  static DWORD needed;
  static DWORD count;
  static BYTE buffer[8];
  struct Case {
    BOOL (*call)();
    DWORD error;
  } cases[] = {
      {[] { return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 3, nullptr, 0, &needed, &count); },
       ERROR_INVALID_LEVEL},
      {[] { return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, nullptr, &count); },
       RPC_X_NULL_REF_POINTER},
      {[] { return EnumMonitorsW(nullptr, 2, nullptr, sizeof(buffer), &needed, &count); },
       ERROR_INVALID_USER_BUFFER},
      {[] { return EnumMonitorsW(nullptr, 3, nullptr, 0, &needed, &count); }, ERROR_INVALID_LEVEL},
      {[] {
         return EnumPrinterDriversW(nullptr, W(u"Windows 95"), 2, nullptr, 0, &needed, &count);
       },
       ERROR_INVALID_ENVIRONMENT},
      {[] { return EnumPrinterDriversW(nullptr, nullptr, 7, nullptr, 0, &needed, &count); },
       ERROR_INVALID_LEVEL},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(c.call());
    EXPECT_EQ(GetLastError(), c.error);
  }
  // Nothing to list is a success with nothing needed.
  EXPECT_TRUE(EnumPrinterDriversW(nullptr, W(u"windows nt x86"), 6, nullptr, 0, &needed, &count));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(count, 0u);
}

TEST_F(SpoolerSimTest, AStoppedSpoolerAnswersNothingAndForgetsItsHandles) {
  HANDLE before = Open(u"Laser", 0);
  spooler().Stop();
  DWORD needed = 0;
  DWORD count = 0;
  HANDLE handle = nullptr;
  EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_FALSE(OpenPrinterW(W(u"Laser"), &handle, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, W(u"vexaWriter:")));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_EQ(GetPrinterDataA(before, const_cast<LPSTR>("x"), nullptr, nullptr, 0, &needed),
            static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  spooler().Start();
  EXPECT_FALSE(GetPrinterW(before, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(ClosePrinter(before)) << "the client lets go of a stale handle";
}

TEST_F(SpoolerSimTest, AccessIsCheckedAtEachOperation) {
  HANDLE use = Open(u"Laser", 0);
  BYTE data[] = "v";
  EXPECT_EQ(SetPrinterDataA(use, const_cast<LPSTR>("SubKey"), REG_SZ, data, 2),
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(SetPrinterW(use, 0, nullptr, PRINTER_CONTROL_PURGE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeletePrinter(use));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ClosePrinter(use);

  HANDLE admin = Open(u"Laser", PRINTER_ACCESS_ADMINISTER);
  EXPECT_TRUE(SetPrinterW(admin, 0, nullptr, PRINTER_CONTROL_PURGE));
  EXPECT_FALSE(DeletePrinter(admin)) << "deleting needs DELETE";
  ClosePrinter(admin);

  spooler().callerIsAdministrator = false;
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE handle = nullptr;
  EXPECT_FALSE(OpenPrinterW(W(u"Laser"), &handle, &defaults));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(SpoolerSimTest, PrinterDataIsReadBackWithItsTypeAndSize) {
  HANDLE printer = Open(u"Laser", PRINTER_ALL_ACCESS);
  BYTE value[] = "settings-1";
  ASSERT_EQ(SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, value, sizeof(value)), 0u);
  DWORD type = 0;
  DWORD needed = 0;
  BYTE small[4];
  EXPECT_EQ(GetPrinterDataExA(printer, "dsuser", "subkey", &type, small, sizeof(small), &needed),
            static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(needed, sizeof(value));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  BYTE read[32] = {};
  EXPECT_EQ(GetPrinterDataExA(printer, "DsUser", "SubKey", &type, read, sizeof(read), &needed), 0u);
  EXPECT_STREQ(reinterpret_cast<char*>(read), "settings-1");
  // The plain calls keep their values apart, under "PrinterDriverData".
  EXPECT_EQ(
      GetPrinterDataA(printer, const_cast<LPSTR>("SubKey"), &type, read, sizeof(read), &needed),
      static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(SetPrinterDataA(printer, const_cast<LPSTR>("SubKey"), REG_SZ, value, sizeof(value)),
            0u);
  EXPECT_EQ(
      GetPrinterDataExA(printer, "PrinterDriverData", "SubKey", &type, read, sizeof(read), &needed),
      0u);
  ClosePrinter(printer);
}

TEST_F(SpoolerSimTest, AddPrinterChecksWhatThePrinterUses) {
  PRINTER_INFO_2W info = {};
  info.pPrinterName = W(u"New");
  info.pPortName = W(u"vexaWriter:");
  info.pDriverName = W(u"Generic / Text Only");
  info.pComment = W(u"");
  info.pPrintProcessor = W(u"WinPrint");
  struct Case {
    const char16_t* name;
    const char16_t* port;
    const char16_t* driver;
    DWORD error;
  } cases[] = {
      {u"Laser", u"vexaWriter:", u"Generic / Text Only", ERROR_PRINTER_ALREADY_EXISTS},
      {u"New", u"nowhere:", u"Generic / Text Only", ERROR_UNKNOWN_PORT},
      {u"New", u"vexaWriter:", u"vexaWriter printer", ERROR_UNKNOWN_PRINTER_DRIVER},
      {u"a,b", u"vexaWriter:", u"Generic / Text Only", ERROR_INVALID_PRINTER_NAME},
  };
  for (const Case& c : cases) {
    info.pPrinterName = W(c.name);
    info.pPortName = W(c.port);
    info.pDriverName = W(c.driver);
    EXPECT_EQ(AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)), nullptr);
    EXPECT_EQ(GetLastError(), c.error) << Utf8(reinterpret_cast<const WCHAR*>(c.name));
  }
  info.pPrinterName = W(u"New");
  info.pPortName = W(u"vexaWriter:");
  info.pDriverName = W(u"Generic / Text Only");
  HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"new")->datatype), "RAW") << "the default data type";
  EXPECT_TRUE(SetPrinterW(added, 0, nullptr, PRINTER_CONTROL_PURGE)) << "all access";
  // Level 2 writes the whole description back, under the same checks.
  info.pPortName = W(u"nowhere:");
  EXPECT_FALSE(SetPrinterW(added, 2, reinterpret_cast<LPBYTE>(&info), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
  info.pPortName = W(u"file:");
  info.pComment = W(u"moved");
  info.Attributes = PRINTER_ATTRIBUTE_DEFAULT;
  EXPECT_TRUE(SetPrinterW(added, 2, reinterpret_cast<LPBYTE>(&info), 0));
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"New")->port), "file:");
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"New")->comment), "moved");
  EXPECT_EQ(spooler().defaultPrinter, u"") << "the default mark is not an attribute to set";
  ClosePrinter(added);
}

TEST_F(SpoolerSimTest, APrinterWithJobsIsOnlyMarkedForDeletion) {
  spooler().FindPrinter(u"Laser")->jobs = 2;
  spooler().defaultPrinter = u"Second";
  HANDLE laser = Open(u"Laser", PRINTER_ALL_ACCESS | DELETE);
  EXPECT_TRUE(DeletePrinter(laser));
  EXPECT_EQ(spooler().printers.size(), 2u);
  EXPECT_EQ(spooler().FindPrinter(u"Laser")->status & PRINTER_STATUS_PENDING_DELETION,
            static_cast<DWORD>(PRINTER_STATUS_PENDING_DELETION));
  HANDLE again = nullptr;
  EXPECT_FALSE(OpenPrinterW(W(u"Laser"), &again, nullptr)) << "never opened again by name";
  ClosePrinter(laser);
  HANDLE second = Open(u"Second", DELETE);
  EXPECT_TRUE(DeletePrinter(second));
  EXPECT_EQ(spooler().FindPrinter(u"Second"), nullptr);
  EXPECT_EQ(spooler().defaultPrinter, u"") << "a printer that is going never becomes the default";
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(second, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  ClosePrinter(second);
  spooler().CompleteJobs(u"Laser");
  EXPECT_EQ(spooler().FindPrinter(u"Laser"), nullptr) << "gone with its jobs and handles";
}

TEST_F(SpoolerSimTest, ALoadedMonitorHoldsItsDllUntilDeletedOrStopped) {
  const winsim::WideText dll = u"C:\\windows\\system32\\zqvmon64.dll";
  MONITOR_INFO_2W info = {W(u"Other:"), W(u"Windows x64"), W(u"zqvother.dll")};
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  spooler().monitors.pop_back();
  files().AddFile(dll);
  info = {W(u"vexaWriter:"), W(u"Windows x64"), W(u"zqvmon64.dll")};
  ASSERT_TRUE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)));
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));
  EXPECT_TRUE(files().IsHeld(dll));
  EXPECT_FALSE(DeleteFileW(winsim::Ptr(dll)));

  spooler().Stop();
  EXPECT_FALSE(files().IsHeld(dll));
  spooler().Start();
  EXPECT_TRUE(files().IsHeld(dll));

  spooler().AddPrinter(u"Ours", u"Generic / Text Only", u"LPT1:,vexaWriter:");
  EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, W(u"vexaWriter:")));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_MONITOR_IN_USE));
  spooler().FindPrinter(u"Ours")->port = u"LPT1:,FILE:";
  EXPECT_TRUE(DeleteMonitorW(nullptr, W(u"Windows x64"), W(u"vexaWriter:")));
  EXPECT_FALSE(files().IsHeld(dll));
  EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, W(u"vexaWriter:")));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINT_MONITOR));
}

class SpoolerDriverSimTest : public SpoolerSimTest {
 protected:
  SpoolerDriverSimTest() {
    for (const char* file : {"drv.dll", "ui.dll", "shared.dll"}) {
      files().AddFile(Widen(std::string("C:\\stage\\") + file), file);
    }
  }
  BOOL Add(const char16_t* name, const char16_t* ui) {
    DRIVER_INFO_3W info = {};
    info.cVersion = 3;
    info.pName = W(name);
    info.pEnvironment = W(u"Windows x64");
    info.pDriverPath = W(u"C:\\stage\\drv.dll");
    info.pDataFile = W(u"C:\\stage\\drv.dll");
    info.pConfigFile = W(ui);
    return AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES);
  }
  bool Installed(const char* file) {
    return files().IsFile(
        Widen(std::string("C:\\windows\\system32\\spool\\drivers\\x64\\3\\") + file));
  }
};

TEST_F(SpoolerDriverSimTest, AddCopiesIntoTheVersionDirectoryAndDeleteTakesTheFiles) {
  EXPECT_FALSE(Add(u"Mine", u"C:\\stage\\missing.dll"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(Installed("drv.dll")) << "nothing is copied when a file is missing";
  ASSERT_TRUE(Add(u"Mine", u"C:\\stage\\ui.dll"));
  EXPECT_TRUE(Installed("drv.dll"));
  EXPECT_TRUE(Installed("ui.dll"));
  EXPECT_TRUE(files().IsFile(u"C:\\stage\\drv.dll")) << "the source stays";

  spooler().AddPrinter(u"User", u"Mine", u"FILE:");
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, W(u"Mine"), DPD_DELETE_ALL_FILES, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE));
  spooler().printers.pop_back();

  spooler().LoadDriver(u"Mine");
  EXPECT_TRUE(files().IsHeld(u"C:\\windows\\system32\\spool\\drivers\\x64\\3\\ui.dll"));
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, W(u"Mine"), DPD_DELETE_ALL_FILES, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE));
  spooler().Stop();
  spooler().Start();
  EXPECT_TRUE(DeletePrinterDriverExW(nullptr, nullptr, W(u"Mine"), DPD_DELETE_ALL_FILES, 0));
  EXPECT_FALSE(Installed("drv.dll"));
  EXPECT_FALSE(Installed("ui.dll"));
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, W(u"Mine"), DPD_DELETE_ALL_FILES, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
}

TEST_F(SpoolerDriverSimTest, FilesSharedWithAnotherDriverAreKeptOrRefused) {
  ASSERT_TRUE(Add(u"One", u"C:\\stage\\ui.dll"));
  ASSERT_TRUE(Add(u"Two", u"C:\\stage\\shared.dll"));  // shares drv.dll with "One"
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, W(u"One"), DPD_DELETE_ALL_FILES, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE));
  EXPECT_TRUE(DeletePrinterDriverExW(nullptr, nullptr, W(u"One"), DPD_DELETE_UNUSED_FILES, 0));
  EXPECT_TRUE(Installed("drv.dll"));
  EXPECT_FALSE(Installed("ui.dll"));
  EXPECT_TRUE(DeletePrinterDriverExW(nullptr, nullptr, W(u"Two"), 0, 0));
  EXPECT_TRUE(Installed("shared.dll")) << "without a flag the files stay";
}

TEST_F(SpoolerDriverSimTest, GetPrinterDriverDescribesThePrintersDriver) {
  ASSERT_TRUE(Add(u"Mine", u"C:\\stage\\ui.dll"));
  spooler().AddPrinter(u"User", u"Mine", u"FILE:");
  HANDLE printer = Open(u"User", 0);
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterDriverW(printer, W(u"Windows x64"), 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterDriverW(printer, W(u"Windows x64"), 2, buffer.data(), needed, &needed));
  auto* info = reinterpret_cast<DRIVER_INFO_2W*>(buffer.data());
  EXPECT_EQ(Utf8(info->pConfigFile), "C:\\windows\\system32\\spool\\drivers\\x64\\3\\ui.dll");
  ExpectInStringArea(info->pDriverPath, buffer, sizeof(DRIVER_INFO_2W));
  EXPECT_FALSE(GetPrinterDriverW(printer, W(u"Windows NT x86"), 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
  ClosePrinter(printer);
}

TEST_F(SpoolerSimTest, TheDefaultPrinterIsReachedThroughTheLibrarysOrdinals) {
  HMODULE library = LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  ASSERT_NE(library, nullptr);
  auto get = reinterpret_cast<BOOL(WINAPI*)(LPWSTR, LPDWORD)>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(library, MAKEINTRESOURCEA(203))));
  auto set = reinterpret_cast<BOOL(WINAPI*)(LPCWSTR)>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(library, MAKEINTRESOURCEA(204))));
  ASSERT_EQ(get, &GetDefaultPrinterW);
  ASSERT_EQ(set, &SetDefaultPrinterW);
  EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(205)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

  WCHAR name[8] = {};
  DWORD capacity = 8;
  EXPECT_FALSE(get(name, &capacity));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "no default printer";
  EXPECT_FALSE(set(L"Nobody"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  EXPECT_TRUE(set(L"second"));
  capacity = 6;
  EXPECT_FALSE(get(name, &capacity));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(capacity, 7u);
  EXPECT_TRUE(get(name, &capacity));
  EXPECT_EQ(Utf8(name), "Second") << "the printer's own spelling";
  EXPECT_TRUE(FreeLibrary(library));

  EXPECT_EQ(LoadLibraryExW(L"C:\\setup\\winspool.drv", nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  HMODULE system = LoadLibraryExW(L"C:\\Windows\\System32\\WINSPOOL.DRV", nullptr, 0);
  EXPECT_NE(system, nullptr);
  FreeLibrary(system);
}

}  // namespace
