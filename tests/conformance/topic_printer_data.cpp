// Printer data through the 8-bit calls, plain and under a key: sizes, short buffers, missing
// values and keys, and writing through a handle without administrator access.
#include "probe.h"

#include <winspool.h>

namespace {

void ObserveRead(const char* key, DWORD status, DWORD type, DWORD needed) {
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    Observe(key, "%s %lu type %lu needed %lu", status == ERROR_SUCCESS ? "ok" : "fail",
            Number(status), Number(type), Number(needed));
  } else {
    ObserveStatus(key, status);
  }
}

}  // namespace

void ProbePrinterData() {
  HANDLE printer = OpenProbePrinter(PROBE_PRINTER_B, PRINTER_ALL_ACCESS);
  ObserveCall("data.open", printer != nullptr);
  if (printer == nullptr) return;
  char text[] = "hello";
  ObserveStatus("data.set", SetPrinterDataA(printer, const_cast<LPSTR>("ProbeValue"), REG_SZ,
                                            reinterpret_cast<LPBYTE>(text), sizeof(text)));
  DWORD type = 0;
  DWORD needed = 0;
  BYTE buffer[64] = {};
  DWORD status =
      GetPrinterDataA(printer, const_cast<LPSTR>("ProbeValue"), &type, nullptr, 0, &needed);
  ObserveRead("data.get_size", status, type, needed);
  status = GetPrinterDataA(printer, const_cast<LPSTR>("ProbeValue"), &type, buffer, 3, &needed);
  ObserveRead("data.get_short", status, type, needed);
  status = GetPrinterDataA(printer, const_cast<LPSTR>("probevalue"), &type, buffer, sizeof(buffer),
                           &needed);
  ObserveRead("data.get_other_case", status, type, needed);
  Observe("data.get_bytes", "%s", reinterpret_cast<const char*>(buffer));
  ObserveStatus("data.get_missing", GetPrinterDataA(printer, const_cast<LPSTR>("NoSuchValue"),
                                                    &type, buffer, sizeof(buffer), &needed));

  DWORD number = 0x2609;
  ObserveStatus("data.set_ex",
                SetPrinterDataExA(printer, "DsUser", "ProbeNumber", REG_DWORD,
                                  reinterpret_cast<LPBYTE>(&number), sizeof(number)));
  status = GetPrinterDataExA(printer, "DsUser", "ProbeNumber", &type, nullptr, 0, &needed);
  ObserveRead("data.get_ex_size", status, type, needed);
  DWORD read = 0;
  status = GetPrinterDataExA(printer, "dsuser", "ProbeNumber", &type,
                             reinterpret_cast<LPBYTE>(&read), sizeof(read), &needed);
  ObserveRead("data.get_ex", status, type, needed);
  Observe("data.get_ex_value", "%lx", Number(read));
  ObserveStatus("data.get_ex_missing_key",
                GetPrinterDataExA(printer, "vexaNoSuchKey", "ProbeNumber", &type, buffer,
                                  sizeof(buffer), &needed));
  ObserveStatus(
      "data.get_ex_missing_value",
      GetPrinterDataExA(printer, "DsUser", "NoSuchValue", &type, buffer, sizeof(buffer), &needed));
  status = GetPrinterDataExA(printer, "PrinterDriverData", "ProbeValue", &type, buffer,
                             sizeof(buffer), &needed);
  ObserveRead("data.plain_under_key", status, type, needed);
  ClosePrinter(printer);

  HANDLE user = OpenProbePrinter(PROBE_PRINTER_B, PRINTER_ACCESS_USE);
  ObserveCall("data.open_use", user != nullptr);
  if (user == nullptr) return;
  ObserveStatus("data.set_without_admin",
                SetPrinterDataA(user, const_cast<LPSTR>("ProbeValue"), REG_SZ,
                                reinterpret_cast<LPBYTE>(text), sizeof(text)));
  status = GetPrinterDataA(user, const_cast<LPSTR>("ProbeValue"), &type, buffer, sizeof(buffer),
                           &needed);
  ObserveRead("data.get_without_admin", status, type, needed);
  ClosePrinter(user);
}
