// Fixture of the spooler-step tests: an InstallState with the x64 file set, the installer's
// files in C:\setup\drv\ and the spooler's driver directory in place, on a fresh machine.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "foundation/handles.h"
#include "foundation/install_state.h"
#include "test_support.h"
#include "winsim/files.h"
#include "winsim/spooler.h"

constexpr char kModuleDir[] = "C:\\setup\\drv\\";
constexpr char kDriverDir[] = "C:\\windows\\system32\\spool\\drivers\\x64\\";
constexpr char kInstalledDriverDir[] = "C:\\windows\\system32\\spool\\drivers\\x64\\3\\";

class SpoolerStepTest : public MachineTest {
 protected:
  SpoolerStepTest() {
    state.moduleDir.Assign(winsim::Ptr(Widen(kModuleDir)));
    state.driverDir.Assign(winsim::Ptr(Widen(kDriverDir)));
    state.environment = L"Windows x64";
    state.monitorFile = L"zqvmon64.dll";
    state.driverFile = L"zqvdrv64.dll";
    state.uiFile = L"zqvui64.dll";
    state.helpFile = L"zqvhelp.chm";
    state.isX64 = 1;
    files().AddDirectory(Widen(kInstalledDriverDir));
  }

  std::string Log() const { return Utf8(state.logText.Text()); }
  winsim::Spooler& spooler() { return machine().spooler(); }
  winsim::FileSystem& files() { return machine().files(); }

  InstallState state;
};

// A block of records laid out as the spooler's, each with only its name set, for lists staged
// by hand at any level. The names must outlive the block (string literals do).
template <typename Record>
UniqueGlobalBlock NamedRecords(const std::vector<const WCHAR*>& names) {
  UniqueGlobalBlock block(GlobalAlloc(GPTR, sizeof(Record) * (names.size() + 1)));
  auto* records = static_cast<Record*>(block.get());
  for (size_t i = 0; i < names.size(); ++i) records[i].pName = const_cast<LPWSTR>(names[i]);
  return block;
}
