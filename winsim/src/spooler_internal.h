// Shared pieces of the simulated spooler calls: the service check, printer handles and the
// packing of records with their strings into a caller's buffer.
#pragma once

#include <winspool.h>

#include <functional>
#include <memory>
#include <vector>

#include "winsim/spooler.h"

namespace winsim {

// False, with RPC_S_SERVER_UNAVAILABLE as the last error, while the spooler service is stopped.
bool SpoolerAvailable();

// What an open printer handle stands for.
struct PrinterHandleObject {
  std::shared_ptr<SpoolerPrinter> printer;
  ACCESS_MASK access = 0;
  unsigned generation = 0;
  // The job of the document started through this handle; 0 when none is open.
  DWORD job = 0;
};

// The printer behind a handle, or the error to fail with: RPC_S_SERVER_UNAVAILABLE while the
// spooler is stopped, ERROR_INVALID_HANDLE for a handle that is not an open printer handle, was
// opened before the spooler last stopped, or names a printer deleted since.
DWORD ResolvePrinterHandle(HANDLE handle, PrinterHandleObject** object);
// The same for a handle that must name a printer (not the server) and carry the access.
DWORD ResolvePrinter(HANDLE handle, ACCESS_MASK required, PrinterHandleObject** object);

// Ends the handle's open document, if any: its job leaves the printer's queue (printing is not
// simulated), which lets a printer pending deletion go once no handle is open on it.
void EndDocument(PrinterHandleObject& handle);

// Places strings at the end of a caller's buffer, moving backwards, as the platform does; made
// without a buffer it only counts the bytes the strings need.
class StringPacker {
 public:
  StringPacker() = default;
  StringPacker(BYTE* buffer, DWORD size);

  // The text with its terminator (an empty text still gets its terminator).
  LPWSTR Put(const WideText& text);
  // Null for an empty text.
  LPWSTR PutOptional(const WideText& text);
  // A list of texts, each terminated, ending in an extra terminator; null for an empty list.
  LPWSTR PutList(const std::vector<WideText>& texts);
  size_t Bytes() const { return bytes_; }

 private:
  LPWSTR Reserve(size_t units);

  BYTE* end_ = nullptr;
  size_t bytes_ = 0;
};

// Fills one record; `record` is null while the records are only being measured.
using RecordMarshal = std::function<void(size_t index, void* record, StringPacker& strings)>;

// Writes `count` records of `recordSize` bytes at the start of the buffer and their strings at
// its end. Reports the bytes needed; fails with ERROR_INSUFFICIENT_BUFFER (and no records
// returned) when they do not fit. `returned` may be null for the calls that return one record.
BOOL ReturnRecords(size_t count, size_t recordSize, const RecordMarshal& marshal, LPBYTE buffer,
                   DWORD bufferSize, LPDWORD needed, LPDWORD returned);

// The argument checks every enumeration makes before it looks at its data.
bool CheckEnumerationArguments(LPBYTE buffer, DWORD bufferSize, LPDWORD needed, LPDWORD returned);

// Lower-case ASCII copy of 8-bit text, for printer-data key and value names.
std::string FoldAnsi(const char* text);

}  // namespace winsim
