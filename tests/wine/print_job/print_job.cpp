// print_job.exe PRINTER TEXT: prints TEXT (its ASCII bytes, no terminator) as one RAW job of
// one page to PRINTER. Exits 0 when every call succeeded; otherwise prints the failed call and
// its last error and exits 1.
#include <windows.h>
#include <winspool.h>

#include <stdio.h>

namespace {

int Failed(const char* call) {
  printf("%s failed: %lu\n", call, GetLastError());
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    printf("usage: print_job PRINTER TEXT\n");
    return 2;
  }
  char bytes[512];
  DWORD count = 0;
  for (const wchar_t* c = argv[2]; *c != 0 && count < sizeof(bytes); ++c) {
    bytes[count++] = static_cast<char>(*c);
  }
  HANDLE printer = nullptr;
  if (!OpenPrinterW(argv[1], &printer, nullptr)) return Failed("OpenPrinterW");
  DOC_INFO_1W document = {};
  document.pDocName = const_cast<LPWSTR>(L"print_job");
  document.pDatatype = const_cast<LPWSTR>(L"RAW");
  int rc = 0;
  DWORD written = 0;
  if (StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&document)) == 0) {
    rc = Failed("StartDocPrinterW");
  } else {
    if (!StartPagePrinter(printer)) rc = Failed("StartPagePrinter");
    if (rc == 0 && (!WritePrinter(printer, bytes, count, &written) || written != count)) {
      rc = Failed("WritePrinter");
    }
    if (rc == 0 && !EndPagePrinter(printer)) rc = Failed("EndPagePrinter");
    if (!EndDocPrinter(printer) && rc == 0) rc = Failed("EndDocPrinter");
  }
  ClosePrinter(printer);
  if (rc == 0) printf("printed %lu bytes\n", written);
  return rc;
}
