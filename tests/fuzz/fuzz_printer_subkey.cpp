// Fuzz target: the "SubKey" printer data of our printers, of any type and size, plainly and
// under the key "DsUser", read back (ReadPrinterSubKey), saved when the printers are removed
// (SavePrinterSubKey through RemoveAllPrinters) and written again when they are re-created
// (RestorePrinters), on a fresh simulated machine per input.
//
// Input layout:
//   byte 0  bit 0: the plain value exists; bit 1: the "DsUser" value exists; bit 2: a second
//           printer of ours has no value; bit 3: the plain value's length is byte 3 times 16
//   byte 1  the plain value's type, byte 2 the "DsUser" value's type (see kTypes)
//   byte 3  the plain value's length; the rest of the input is the "DsUser" value
// Besides the sanitizers' findings, an input fails when a read leaves no terminator within the
// buffer, a saved name is empty or longer than a read can give, or a block or handle is left.
#include <windows.h>
#include <winspool.h>

#include <string.h>

#include "foundation/install_state.h"
#include "foundation/product.h"
#include "fuzz_input.h"
#include "spooler/printer_creation.h"
#include "spooler/printer_info.h"
#include "spooler/printer_removal.h"
#include "spooler/printer_snapshot.h"
#include "state_lifecycle.h"
#include "winsim/spooler.h"

namespace {

const char kTarget[] = "fuzz_printer_subkey";
const DWORD kTypes[8] = {REG_SZ,       REG_EXPAND_SZ, REG_BINARY, REG_DWORD,
                         REG_MULTI_SZ, REG_NONE,      REG_QWORD,  0x7F3A};

void StageSpooler(winsim::Spooler& spooler, FuzzInput& input) {
  const uint8_t flags = input.Byte();
  const DWORD plainType = kTypes[input.Byte() & 7];
  const DWORD dsUserType = kTypes[input.Byte() & 7];
  size_t plainLength = input.Byte();
  if ((flags & 8) != 0) plainLength *= 16;
  std::vector<BYTE> plain = input.Bytes(plainLength);
  std::vector<BYTE> dsUser = input.Rest();

  spooler.AddDriver(winsim::FromPtr(kDriverName));
  spooler.AddMonitor(winsim::FromPtr(kMonitorName), u"zqvmon64.dll",
                     {winsim::FromPtr(kMonitorName)});
  winsim::SpoolerPrinter& printer = spooler.AddPrinter(u"vexaWriter", winsim::FromPtr(kDriverName),
                                                       winsim::FromPtr(kMonitorName));
  if ((flags & 1) != 0)
    winsim::Spooler::SetData(printer, "PrinterDriverData", "SubKey", plainType, plain);
  if ((flags & 2) != 0) winsim::Spooler::SetData(printer, "DsUser", "SubKey", dsUserType, dsUser);
  if ((flags & 4) != 0) {
    spooler.AddPrinter(u"vexaWriter 2", winsim::FromPtr(kDriverName),
                       winsim::FromPtr(kMonitorName));
  }
}

// A read into a block of exactly the documented size: ASan sees any write past it.
void CheckRead(HANDLE printer) {
  std::vector<char> buffer(kSubKeyBytes, 'x');
  ReadPrinterSubKey(printer, buffer.data());
  if (memchr(buffer.data(), 0, kSubKeyBytes) == nullptr) FuzzFail(kTarget, "no terminator");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  winsim::Machine machine;
  StageSpooler(machine.spooler(), input);
  {
    UniquePrinter printer;
    if (OpenPrinterW(const_cast<LPWSTR>(L"vexaWriter"), printer.put(), nullptr)) {
      CheckRead(printer.get());
    }
  }
  {
    InstallState state;
    state.environment = L"Windows x64";
    TakePrinterSnapshot(state.printers);
    RemoveAllPrinters(state);
    for (SavedPrinter* saved = state.savedPrinters; saved != nullptr; saved = saved->next) {
      size_t length = strlen(saved->subKey);
      if (length == 0 || length >= kSubKeyBytes) FuzzFail(kTarget, "a saved name out of range");
    }
    RestorePrinters(state);
    ReleaseInstallState(state);
  }
  CheckNothingLeft(kTarget, machine);
  return 0;
}
