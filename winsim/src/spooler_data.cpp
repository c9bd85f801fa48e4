// Printer data through the 8-bit calls: GetPrinterDataA, GetPrinterDataExA, SetPrinterDataA and
// SetPrinterDataExA. The plain calls work on the key "PrinterDriverData". These calls return
// their error instead of setting the last error.
#include <winspool.h>

#include <string.h>

#include "spooler_internal.h"

using winsim::PrinterDataValue;
using winsim::PrinterHandleObject;

namespace {

const char kPlainDataKey[] = "PrinterDriverData";

DWORD ReadData(HANDLE printerHandle, const char* key, const char* value, LPDWORD type, LPBYTE data,
               DWORD size, LPDWORD needed) {
  PrinterHandleObject* handle = nullptr;
  if (DWORD error = winsim::ResolvePrinter(printerHandle, 0, &handle)) return error;
  if (needed == nullptr) return RPC_X_NULL_REF_POINTER;
  if (key == nullptr || key[0] == 0) return ERROR_INVALID_PARAMETER;
  if (data == nullptr && size != 0) return ERROR_INVALID_USER_BUFFER;
  const auto& keys = handle->printer->data;
  auto foundKey = keys.find(winsim::FoldAnsi(key));
  if (foundKey == keys.end()) return ERROR_FILE_NOT_FOUND;
  auto foundValue = foundKey->second.find(winsim::FoldAnsi(value));
  if (foundValue == foundKey->second.end()) return ERROR_FILE_NOT_FOUND;
  const PrinterDataValue& stored = foundValue->second;
  DWORD bytes = static_cast<DWORD>(stored.bytes.size());
  *needed = bytes;
  if (type != nullptr) *type = stored.type;
  if (bytes > size) return ERROR_MORE_DATA;
  if (bytes != 0) memcpy(data, stored.bytes.data(), bytes);
  return ERROR_SUCCESS;
}

DWORD WriteData(HANDLE printerHandle, const char* key, const char* value, DWORD type,
                const BYTE* data, DWORD size) {
  PrinterHandleObject* handle = nullptr;
  if (DWORD error = winsim::ResolvePrinter(printerHandle, 0, &handle)) return error;
  if (key == nullptr || key[0] == 0) return ERROR_INVALID_PARAMETER;
  if (data == nullptr && size != 0) return RPC_X_NULL_REF_POINTER;
  if ((handle->access & PRINTER_ACCESS_ADMINISTER) == 0) return ERROR_ACCESS_DENIED;
  PrinterDataValue& stored = handle->printer->data[winsim::FoldAnsi(key)][winsim::FoldAnsi(value)];
  stored.type = type;
  stored.bytes.assign(data, data + size);
  return ERROR_SUCCESS;
}

}  // namespace

DWORD WINAPI GetPrinterDataA(HANDLE hPrinter, LPSTR pValueName, LPDWORD pType, LPBYTE pData,
                             DWORD nSize, LPDWORD pcbNeeded) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  return ReadData(hPrinter, kPlainDataKey, pValueName, pType, pData, nSize, pcbNeeded);
}

DWORD WINAPI GetPrinterDataExA(HANDLE hPrinter, LPCSTR pKeyName, LPCSTR pValueName, LPDWORD pType,
                               LPBYTE pData, DWORD nSize, LPDWORD pcbNeeded) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  return ReadData(hPrinter, pKeyName, pValueName, pType, pData, nSize, pcbNeeded);
}

DWORD WINAPI SetPrinterDataA(HANDLE hPrinter, LPSTR pValueName, DWORD Type, LPBYTE pData,
                             DWORD cbData) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  return WriteData(hPrinter, kPlainDataKey, pValueName, Type, pData, cbData);
}

DWORD WINAPI SetPrinterDataExA(HANDLE hPrinter, LPCSTR pKeyName, LPCSTR pValueName, DWORD Type,
                               LPBYTE pData, DWORD cbData) {
  WINSIM_ENTER_OR_RETURN_ERROR();
  return WriteData(hPrinter, pKeyName, pValueName, Type, pData, cbData);
}
