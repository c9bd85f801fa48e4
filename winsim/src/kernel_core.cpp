// kernel32 core: last error, memory, clock, message texts, code pages and lstr* functions.
#include <windows.h>

#include <string.h>

#include "winsim/files.h"
#include "winsim/machine.h"
#include "winsim/text.h"

using winsim::Machine;

DWORD WINAPI GetLastError(void) {
  return Machine::Current().lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
  Machine::Current().lastError = dwErrCode;
}

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  void* block = Machine::Current().AllocateBlock(false, dwBytes, (uFlags & GMEM_ZEROINIT) != 0);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  winsim::PoisonLastError();
  return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
  WINSIM_ENTER_OR_FAIL(hMem);
  if (hMem == nullptr) return nullptr;
  if (!Machine::Current().FreeBlock(false, hMem)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return hMem;
  }
  return nullptr;
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  void* block = Machine::Current().AllocateBlock(true, uBytes, (uFlags & LMEM_ZEROINIT) != 0);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  winsim::PoisonLastError();
  return block;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  WINSIM_ENTER_OR_FAIL(hMem);
  if (hMem == nullptr) return nullptr;
  if (!Machine::Current().FreeBlock(true, hMem)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return hMem;
  }
  return nullptr;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  winsim::EnterCall(__func__);
  Machine::Current().SleepFor(dwMilliseconds);
}

DWORD WINAPI GetTickCount(void) {
  winsim::EnterCall(__func__);
  return Machine::Current().TickCount();
}

namespace {

struct SystemMessage {
  DWORD code;
  const char* text;
};

// English (United States) texts of the system message table, with their CR LF endings.
const SystemMessage kSystemMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough memory resources are available to complete this operation.\r\n"},
    {21, "The device is not ready.\r\n"},
    {29, "The system cannot write to the specified device.\r\n"},
    {30, "The system cannot read from the specified device.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {33,
     "The process cannot access the file because another process has locked a portion of the "
     "file.\r\n"},
    {38, "Reached the end of the file.\r\n"},
    {50, "The request is not supported.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {124, "The system call level is not correct.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {127, "The specified procedure could not be found.\r\n"},
    {145, "The directory is not empty.\r\n"},
    {161, "The specified path is invalid.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {234, "More data is available.\r\n"},
    {258, "The wait operation timed out.\r\n"},
    {259, "No more data is available.\r\n"},
    {288, "Attempt to release mutex not owned by caller.\r\n"},
    {1004, "Invalid flags.\r\n"},
    {1010, "The configuration registry key is invalid.\r\n"},
    {1011, "The configuration registry key could not be opened.\r\n"},
    {1012, "The configuration registry key could not be read.\r\n"},
    {1051,
     "A stop control has been sent to a service that other running services are dependent "
     "on.\r\n"},
    {1052, "The requested control is not valid for this service.\r\n"},
    {1053, "The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1054, "A thread could not be created for the service.\r\n"},
    {1055, "The service database is locked.\r\n"},
    {1056, "An instance of the service is already running.\r\n"},
    {1058,
     "The service cannot be started, either because it is disabled or because it has no enabled "
     "devices associated with it.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1061, "The service cannot accept control messages at this time.\r\n"},
    {1062, "The service has not been started.\r\n"},
    {1400, "Invalid window handle.\r\n"},
    {1411, "Class does not exist.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
    {1797, "The printer driver is unknown.\r\n"},
    {1801, "The printer name is invalid.\r\n"},
    {1802, "The printer already exists.\r\n"},
    {1803, "The printer command is invalid.\r\n"},
    {1804, "The specified datatype is invalid.\r\n"},
    {1805, "The environment specified is invalid.\r\n"},
    {1813, "The specified resource type cannot be found in the image file.\r\n"},
    {1814, "The specified resource name cannot be found in the image file.\r\n"},
    {3000, "The specified print monitor is unknown.\r\n"},
    {3001, "The specified printer driver is currently in use.\r\n"},
    {3002, "The spool file was not found.\r\n"},
    {3006, "The specified print monitor has already been installed.\r\n"},
    {3007, "The specified print monitor does not have the required functions.\r\n"},
    {3008, "The specified print monitor is currently in use.\r\n"},
    {3009, "The requested operation is not allowed when there are jobs queued to the printer.\r\n"},
    {3012, "No printers were found.\r\n"},
    {0x80004005u, "Unspecified error\r\n"},
};

const char* FindSystemMessage(DWORD code) {
  // HRESULTs of the Win32 facility carry the texts of their error codes.
  if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFFu;
  for (const SystemMessage& message : kSystemMessages) {
    if (message.code == code) return message.text;
  }
  return nullptr;
}

}  // namespace

DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPWSTR lpBuffer, DWORD nSize, va_list* Arguments) {
  (void)lpSource;
  (void)Arguments;
  WINSIM_ENTER_OR_FAIL(0);
  const DWORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ||
      (dwLanguageId != 0 && dwLanguageId != english)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* text = FindSystemMessage(dwMessageId);
  if (text == nullptr) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  winsim::WideText wide = winsim::Widen(text);
  DWORD length = static_cast<DWORD>(wide.size());
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    SIZE_T units = length + 1 > nSize ? length + 1 : nSize;
    auto* block = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, units * sizeof(WCHAR)));
    if (block == nullptr) return 0;
    memcpy(block, wide.c_str(), (length + 1) * sizeof(WCHAR));
    *reinterpret_cast<LPWSTR*>(lpBuffer) = block;
  } else {
    if (lpBuffer == nullptr || nSize < length + 1) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    memcpy(lpBuffer, wide.c_str(), (length + 1) * sizeof(WCHAR));
  }
  winsim::PoisonLastError();
  return length;
}

namespace {
// Windows-1252 bytes 0x80 to 0x9F; the others map to the same code point.
const WCHAR kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                               0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

WCHAR FromCp1252(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80] : static_cast<WCHAR>(byte);
}
}  // namespace

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  (void)dwFlags;
  WINSIM_ENTER_OR_FAIL(0);
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cchWideChar < 0 ||
      (cchWideChar > 0 && lpWideCharStr == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (CodePage != CP_ACP) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t bytes = cbMultiByte < 0 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  if (cchWideChar == 0) {
    winsim::PoisonLastError();
    return static_cast<int>(bytes);
  }
  if (static_cast<size_t>(cchWideChar) < bytes) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (size_t i = 0; i < bytes; ++i) {
    lpWideCharStr[i] = FromCp1252(static_cast<unsigned char>(lpMultiByteStr[i]));
  }
  winsim::PoisonLastError();
  return static_cast<int>(bytes);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
  WINSIM_ENTER_OR_FAIL(0);
  // UTF-8 takes no flags and no default character.
  if (CodePage != CP_UTF8 || dwFlags != 0 || lpDefaultChar != nullptr ||
      lpUsedDefaultChar != nullptr || lpWideCharStr == nullptr || cchWideChar == 0 ||
      cbMultiByte < 0 || (cbMultiByte > 0 && lpMultiByteStr == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t units = cchWideChar < 0 ? static_cast<size_t>(lstrlenW(lpWideCharStr)) + 1
                                 : static_cast<size_t>(cchWideChar);
  std::u16string text(reinterpret_cast<const char16_t*>(lpWideCharStr), units);
  for (size_t i = 0; i < text.size(); ++i) {
    bool high = text[i] >= 0xD800 && text[i] < 0xDC00;
    bool low = text[i] >= 0xDC00 && text[i] < 0xE000;
    bool lowNext = i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
    if (high && lowNext) {
      ++i;
    } else if (high || low) {
      text[i] = 0xFFFD;
    }
  }
  std::string bytes = winsim::Utf8(text);
  if (bytes.size() > 0x7FFFFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  winsim::PoisonLastError();
  if (cbMultiByte == 0) return static_cast<int>(bytes.size());
  if (static_cast<size_t>(cbMultiByte) < bytes.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(lpMultiByteStr, bytes.data(), bytes.size());
  return static_cast<int>(bytes.size());
}

int WINAPI lstrlenW(LPCWSTR lpString) {
  if (lpString == nullptr) return 0;
  int length = 0;
  while (lpString[length] != 0) ++length;
  return length;
}

int WINAPI lstrlenA(LPCSTR lpString) {
  return lpString == nullptr ? 0 : static_cast<int>(strlen(lpString));
}

LPWSTR WINAPI lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2) {
  int i = 0;
  do {
    lpString1[i] = lpString2[i];
  } while (lpString2[i++] != 0);
  return lpString1;
}

LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
  if (iMaxLength <= 0) return lpString1;
  int i = 0;
  for (; i < iMaxLength - 1 && lpString2[i] != 0; ++i) lpString1[i] = lpString2[i];
  lpString1[i] = 0;
  return lpString1;
}

LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
  if (iMaxLength <= 0) return lpString1;
  int i = 0;
  for (; i < iMaxLength - 1 && lpString2[i] != 0; ++i) lpString1[i] = lpString2[i];
  lpString1[i] = 0;
  return lpString1;
}

LPWSTR WINAPI lstrcatW(LPWSTR lpString1, LPCWSTR lpString2) {
  lstrcpyW(lpString1 + lstrlenW(lpString1), lpString2);
  return lpString1;
}

namespace {
int CompareUnits(LPCWSTR a, LPCWSTR b, bool foldCase) {
  static const WCHAR kEmpty[1] = {0};
  if (a == nullptr) a = kEmpty;
  if (b == nullptr) b = kEmpty;
  for (;; ++a, ++b) {
    WCHAR x = *a;
    WCHAR y = *b;
    if (foldCase) {
      if (x >= L'A' && x <= L'Z') x = static_cast<WCHAR>(x - L'A' + L'a');
      if (y >= L'A' && y <= L'Z') y = static_cast<WCHAR>(y - L'A' + L'a');
    }
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}
}  // namespace

int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
  return CompareUnits(lpString1, lpString2, false);
}

int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
  return CompareUnits(lpString1, lpString2, true);
}

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
  int result = strcmp(lpString1 ? lpString1 : "", lpString2 ? lpString2 : "");
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  Machine& machine = Machine::Current();
  if (auto open =
          machine.LookupHandle<winsim::FileSystem::OpenFile>(hObject, winsim::HandleKind::File)) {
    machine.RemoveHandle(hObject, winsim::HandleKind::File);
    winsim::WideText key = open->key;
    open.reset();
    machine.files().FinishPendingDelete(key);
    winsim::PoisonLastError();
    return TRUE;
  }
  for (winsim::HandleKind kind :
       {winsim::HandleKind::File, winsim::HandleKind::Mutex, winsim::HandleKind::Process,
        winsim::HandleKind::Thread, winsim::HandleKind::Other}) {
    if (machine.RemoveHandle(hObject, kind)) {
      winsim::PoisonLastError();
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
