// Fuzz target: the tray companion's Run value, of any type and size, when the companion is
// stopped and removed (StopTray), on a fresh simulated machine per input.
//
// Input layout:
//   byte 0  bits 0-2: the value's type (see kTypes); bit 3: there is no value; bit 4: a
//           companion runs (and quits when asked); bit 5: the file to keep is the companion's
//   rest    the value's bytes
// Besides the sanitizers' findings, an input fails when the value is still there afterwards, a
// file other than the companion's goes, or a block or handle is left behind.
#include <windows.h>

#include "fuzz_input.h"
#include "tray/tray.h"
#include "winsim/files.h"
#include "winsim/registry.h"
#include "winsim/tray_companion.h"

namespace {

const char kTarget[] = "fuzz_tray_run_value";
const char16_t kRunKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t kRunValue[] = u"vexaWriterTray";
const char16_t kTrayFile[] = u"C:\\Apps\\Printer\\vextray.exe";
const char16_t kOtherFile[] = u"C:\\Windows\\system32\\kernel32.dll";
const DWORD kTypes[8] = {REG_SZ,       REG_EXPAND_SZ, REG_BINARY, REG_DWORD,
                         REG_MULTI_SZ, REG_NONE,      REG_QWORD,  0x7F3A};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const uint8_t flags = input.Byte();
  std::vector<BYTE> value = input.Rest();

  winsim::Machine machine;
  winsim::Registry& registry = machine.registry();
  registry.CreateKey(HKEY_LOCAL_MACHINE, kRunKey);
  if ((flags & 8) == 0)
    registry.SetValue(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, kTypes[flags & 7], value);
  machine.files().AddFile(kOtherFile);
  winsim::TrayCompanion companion;
  if ((flags & 16) != 0) {
    companion.RunAt(machine, kTrayFile);
  } else {
    machine.files().AddFile(kTrayFile);
  }

  StopTray((flags & 32) != 0 ? L"c:\\apps\\printer\\VEXTRAY.EXE" : nullptr);
  if (registry.GetValue(HKEY_LOCAL_MACHINE, kRunKey, kRunValue) != nullptr) {
    FuzzFail(kTarget, "the Run value is still there");
  }
  // Only a value naming a file exactly can take it; the system file is never named so.
  if (!machine.files().Exists(kOtherFile) && value.size() < 60) {
    FuzzFail(kTarget, "a file the value does not name went");
  }
  CheckNothingLeft(kTarget, machine);
  return 0;
}
