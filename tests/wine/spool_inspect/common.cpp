// Output, enumeration and default-printer helpers shared by the verbs.
#include <windows.h>
#include <winspool.h>

#include <stdio.h>

#include "spool_tool.h"

namespace spool_tool {

void Print(const WCHAR* text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return;
  char* utf8 = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, bytes));
  if (utf8 == nullptr) return;
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, bytes, nullptr, nullptr);
  fwrite(utf8, 1, bytes - 1, stdout);
  HeapFree(GetProcessHeap(), 0, utf8);
}

void PrintLine(const WCHAR* text) {
  Print(text);
  fputc('\n', stdout);
  fflush(stdout);
}

void PrintNarrow(const char* text) {
  fputs(text, stdout);
  fflush(stdout);
}

bool Fail(const WCHAR* what) {
  DWORD error = GetLastError();
  int bytes = WideCharToMultiByte(CP_UTF8, 0, what, -1, nullptr, 0, nullptr, nullptr);
  char utf8[512] = {};
  if (bytes > 0 && bytes < 512)
    WideCharToMultiByte(CP_UTF8, 0, what, -1, utf8, 512, nullptr, nullptr);
  fprintf(stderr, "error: %s %lu\n", utf8, error);
  return false;
}

Block::~Block() {
  if (data != nullptr) HeapFree(GetProcessHeap(), 0, data);
}

bool Block::Allocate(DWORD bytes) {
  data = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
  return data != nullptr;
}

bool EnumPrinters2(Block& out) {
  constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD needed = 0;
  if (EnumPrintersW(kFlags, nullptr, 2, nullptr, 0, &needed, &out.count)) return true;
  return GetLastError() == ERROR_INSUFFICIENT_BUFFER && out.Allocate(needed) &&
         EnumPrintersW(kFlags, nullptr, 2, out.data, needed, &needed, &out.count);
}

namespace {

FARPROC SpoolerOrdinal(WORD ordinal) {
  HMODULE spooler = GetModuleHandleW(L"winspool.drv");
  return spooler != nullptr ? GetProcAddress(spooler, MAKEINTRESOURCEA(ordinal)) : nullptr;
}

}  // namespace

bool DefaultPrinter(WCHAR* name, DWORD capacity) {
  using GetDefaultFn = BOOL(WINAPI*)(WCHAR*, DWORD*);
  auto get = reinterpret_cast<GetDefaultFn>(reinterpret_cast<void*>(SpoolerOrdinal(203)));
  return get != nullptr && get(name, &capacity);
}

bool SetDefault(const WCHAR* name) {
  using SetDefaultFn = BOOL(WINAPI*)(const WCHAR*);
  auto set = reinterpret_cast<SetDefaultFn>(reinterpret_cast<void*>(SpoolerOrdinal(204)));
  return set != nullptr && set(name);
}

}  // namespace spool_tool
