// Fixture of the tray companion tests: the machine's Run key in place, and the companion's
// file where an installer in C:\Apps\Printer\drv\ registers it.
#pragma once

#include <windows.h>

#include <string>

#include "test_support.h"
#include "winsim/desktop.h"
#include "winsim/files.h"
#include "winsim/mutexes.h"
#include "winsim/processes.h"
#include "winsim/registry.h"
#include "winsim/tray_companion.h"

constexpr char16_t kRunKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char16_t kRunValue[] = u"vexaWriterTray";
constexpr char kTrayFile[] = "C:\\Apps\\Printer\\vextray.exe";

class TrayTest : public MachineTest {
 protected:
  TrayTest() { registry().CreateKey(HKEY_LOCAL_MACHINE, kRunKey); }

  void SetRunValue(const std::string& path) {
    registry().SetString(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, Widen(path));
  }
  const winsim::Registry::Value* RunValue() {
    return registry().GetValue(HKEY_LOCAL_MACHINE, kRunKey, kRunValue);
  }
  bool CompanionMutexExists() {
    return machine().mutexes().Exists(winsim::TrayCompanion::kMutexName);
  }

  winsim::Registry& registry() { return machine().registry(); }
  winsim::FileSystem& files() { return machine().files(); }
  winsim::Desktop& desktop() { return machine().desktop(); }
  winsim::Processes& processes() { return machine().processes(); }
};
