// A printer deleted while it has a queued job: it is only marked for deletion, cannot be opened
// by name or become the default meanwhile, and goes once its job has left the queue and its
// last handle is closed. Adds "Probe J", which goes; leaves the key by which the spooler finds
// the monitor of the probe port.
#include "probe.h"

#include <winspool.h>

namespace {

const WCHAR kPrinter[] = L"Probe J";

typedef BOOL(WINAPI* SetDefault)(LPCWSTR);

// Whether the local enumeration at level 2 holds the printer and, when asked, its status and
// job count there. Once the job has ended these depend on how fast the port takes the job.
void ObservePresence(const char* key, const WCHAR* name, bool queue) {
  BYTE buffer[16384];
  DWORD needed = 0;
  DWORD count = 0;
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, sizeof(buffer), &needed, &count)) {
    ObserveCall(key, FALSE);
    return;
  }
  for (DWORD i = 0; i < count; ++i) {
    const PRINTER_INFO_2W& info = reinterpret_cast<PRINTER_INFO_2W*>(buffer)[i];
    if (lstrcmpiW(info.pPrinterName, name) == 0) {
      if (queue) {
        Observe(key, "present status %lx jobs %lu", Number(info.Status), Number(info.cJobs));
      } else {
        Observe(key, "present");
      }
      return;
    }
  }
  Observe(key, "absent");
}

void ObserveQueue(const char* key, HANDLE printer) {
  BYTE buffer[8192];
  DWORD needed = 0;
  if (!GetPrinterW(printer, 2, buffer, sizeof(buffer), &needed)) {
    ObserveCall(key, FALSE);
    return;
  }
  const PRINTER_INFO_2W* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer);
  Observe(key, "ok status %lx jobs %lu", Number(info->Status), Number(info->cJobs));
}

void ObserveSetDefault(const char* key, const WCHAR* name) {
  HMODULE spooler = LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDefault setDefault = spooler == nullptr
                              ? nullptr
                              : reinterpret_cast<SetDefault>(reinterpret_cast<void (*)()>(
                                    GetProcAddress(spooler, MAKEINTRESOURCEA(204))));
  ObserveCall(key, setDefault != nullptr && setDefault(name));
  if (spooler != nullptr) FreeLibrary(spooler);
}

}  // namespace

void ProbeJobs() {
  // The key by which a spooler finds the monitor of the port; the monitor registers it itself
  // where its registry callbacks work, and a job reaches the port only with it.
  HKEY key = nullptr;
  ObserveStatus("job.port_key",
                RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\"
                                L"vexaWriter:\\Ports\\vexaWriter:",
                                0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  if (key != nullptr) RegCloseKey(key);
  HANDLE printer = AddProbePrinter(kPrinter, L"RAW");
  ObserveCall("job.add", printer != nullptr);
  if (printer == nullptr) return;
  DOC_INFO_1W document = {};
  document.pDocName = const_cast<LPWSTR>(L"probe job");
  document.pDatatype = const_cast<LPWSTR>(L"RAW");
  DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&document));
  ObserveCall("job.start_doc", job > 0);
  char bytes[] = "probe";
  DWORD written = 0;
  ObserveCall("job.write", job > 0 && StartPagePrinter(printer) &&
                               WritePrinter(printer, bytes, sizeof(bytes), &written) &&
                               written == sizeof(bytes) && EndPagePrinter(printer));
  ObserveQueue("job.queued", printer);

  HANDLE deleting = OpenProbePrinter(kPrinter, DELETE);
  ObserveCall("job.delete", deleting != nullptr && DeletePrinter(deleting));
  HANDLE reopened = OpenProbePrinter(kPrinter, PRINTER_ACCESS_USE);
  ObserveCall("job.open_pending", reopened != nullptr);
  if (reopened != nullptr) ClosePrinter(reopened);
  ObservePresence("job.enum_pending", kPrinter, true);
  ObserveSetDefault("job.set_default_pending", kPrinter);

  ObserveCall("job.end_doc", job > 0 && EndDocPrinter(printer));
  ObservePresence("job.enum_after_end_doc", kPrinter, false);
  BOOL closed = ClosePrinter(printer);
  if (deleting != nullptr) closed = ClosePrinter(deleting) && closed;
  ObserveCall("job.close", closed);
  ObservePresence("job.enum_after_close", kPrinter, false);

  // A platform that kept the printer (or made it the default) must not pass that on.
  HANDLE left = OpenProbePrinter(kPrinter, PRINTER_ALL_ACCESS);
  if (left != nullptr) {
    DeletePrinter(left);
    ClosePrinter(left);
  }
}
