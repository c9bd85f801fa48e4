// Print jobs: StartDocPrinterW, StartPagePrinter, WritePrinter, EndPagePrinter, EndDocPrinter.
// A handle carries at most one open document, which is a queued job of its printer. Printing
// itself is not simulated: the bytes written are dropped, and a job leaves the queue as soon as
// its document ends (on the platform it is handed to the port then, and leaves the queue once
// the port has taken it). A printer that is pending deletion goes once its last job has left
// and its last handle is closed.
#include <winspool.h>

#include "spooler_internal.h"

using winsim::Machine;
using winsim::PrinterHandleObject;
using winsim::Spooler;

namespace {

// The handle's printer with an open document, or the error to fail with. Unlike the other calls
// on a handle, a document started before its printer was marked for deletion goes on to its
// end: the job is already queued, and the printer waits for it.
DWORD ResolveDocument(HANDLE printer, PrinterHandleObject** handle) {
  Machine& machine = Machine::Current();
  if (!machine.spooler().IsRunning()) return RPC_S_SERVER_UNAVAILABLE;
  auto found = machine.LookupHandle<PrinterHandleObject>(printer, winsim::HandleKind::Printer);
  if (found == nullptr || found->generation != machine.spooler().Generation() ||
      found->printer == nullptr) {
    return ERROR_INVALID_HANDLE;
  }
  if (found->printer->deleted) return ERROR_INVALID_PRINTER_NAME;
  if (found->job == 0) return ERROR_SPL_NO_STARTDOC;
  *handle = found.get();
  return ERROR_SUCCESS;
}

// The calls that only need an open document.
BOOL WithDocument(HANDLE printer) {
  PrinterHandleObject* handle = nullptr;
  if (DWORD error = ResolveDocument(printer, &handle)) {
    SetLastError(error);
    return FALSE;
  }
  winsim::PoisonLastError();
  return TRUE;
}

}  // namespace

namespace winsim {

void EndDocument(PrinterHandleObject& handle) {
  if (handle.job == 0) return;
  handle.job = 0;
  SpoolerPrinter& printer = *handle.printer;
  if (printer.jobs > 0) --printer.jobs;  // a purge may have emptied the queue meanwhile
  Machine::Current().spooler().FinishPendingDeletion(handle.printer);
}

}  // namespace winsim

DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
  WINSIM_ENTER_OR_FAIL(0);
  PrinterHandleObject* handle = nullptr;
  if (DWORD error = winsim::ResolvePrinter(hPrinter, PRINTER_ACCESS_USE, &handle)) {
    SetLastError(error);
    return 0;
  }
  if (Level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return 0;
  }
  auto* info = reinterpret_cast<const DOC_INFO_1W*>(pDocInfo);
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (handle->job != 0) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return 0;
  }
  // A printer that is being deleted takes no new jobs.
  if (Spooler::IsPendingDeletion(*handle->printer)) {
    SetLastError(ERROR_PRINTER_DELETED);
    return 0;
  }
  if (info->pDatatype != nullptr && info->pDatatype[0] != 0 &&
      !winsim::EqualsIgnoringCase(winsim::FromPtr(info->pDatatype), u"RAW")) {
    SetLastError(ERROR_INVALID_DATATYPE);
    return 0;
  }
  handle->job = ++Machine::Current().spooler().lastJobId;
  ++handle->printer->jobs;
  winsim::PoisonLastError();
  return handle->job;
}

BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  return WithDocument(hPrinter);
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (pcWritten == nullptr || (pBuf == nullptr && cbBuf != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pcWritten = 0;
  if (!WithDocument(hPrinter)) return FALSE;
  *pcWritten = cbBuf;
  return TRUE;
}

BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  return WithDocument(hPrinter);
}

BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  PrinterHandleObject* handle = nullptr;
  if (DWORD error = ResolveDocument(hPrinter, &handle)) {
    SetLastError(error);
    return FALSE;
  }
  winsim::EndDocument(*handle);
  winsim::PoisonLastError();
  return TRUE;
}
