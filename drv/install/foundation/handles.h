// The owner types of the platform handles and blocks the installer uses.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "unique_resource.h"

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { CloseHandle(handle); }
};
struct KernelHandleTraits {  // mutexes, processes, threads: null when absent
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle) { CloseHandle(handle); }
};
struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle) { RegCloseKey(handle); }
};
struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle) { CloseServiceHandle(handle); }
};
struct PrinterHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle) { ClosePrinter(handle); }
};
struct GlobalBlockTraits {
  using Handle = void*;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle) { GlobalFree(handle); }
};
struct LocalBlockTraits {  // blocks the platform hands out to be freed with LocalFree
  using Handle = void*;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle) { LocalFree(handle); }
};
struct LibraryTraits {
  using Handle = HMODULE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle) { FreeLibrary(handle); }
};

using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueKernelHandle = UniqueResource<KernelHandleTraits>;
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;
using UniqueServiceHandle = UniqueResource<ServiceHandleTraits>;
using UniquePrinter = UniqueResource<PrinterHandleTraits>;
using UniqueGlobalBlock = UniqueResource<GlobalBlockTraits>;
using UniqueLocalBlock = UniqueResource<LocalBlockTraits>;
using UniqueLibrary = UniqueResource<LibraryTraits>;

// Allocates a zero-filled fixed global block; on failure the last error is E_OUTOFMEMORY.
inline void* AllocateZeroedGlobal(SIZE_T bytes) {
  void* block = GlobalAlloc(GPTR, bytes);
  if (block == nullptr) SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
  return block;
}
