// Version resources: sizes, the fixed information (product and file versions apart), the
// string table and translation, files without a resource, and missing files.
#include "probe.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

void ObserveVersion(const char* key, const WCHAR* path) {
  char name[64];
  DWORD unused = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &unused);
  snprintf(name, sizeof(name), "%s.size", key);
  if (size == 0) {
    ObserveCall(name, FALSE);
    return;
  }
  Observe(name, "ok");
  void* block = malloc(size);
  snprintf(name, sizeof(name), "%s.read", key);
  ObserveCall(name, GetFileVersionInfoW(path, 0, size, block));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT bytes = 0;
  snprintf(name, sizeof(name), "%s.fixed", key);
  if (VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&fixed), &bytes) && fixed != nullptr) {
    Observe(name, "bytes %u product %lu.%lu.%lu.%lu file %lu.%lu.%lu.%lu", bytes,
            Number(fixed->dwProductVersionMS >> 16), Number(fixed->dwProductVersionMS & 0xFFFF),
            Number(fixed->dwProductVersionLS >> 16), Number(fixed->dwProductVersionLS & 0xFFFF),
            Number(fixed->dwFileVersionMS >> 16), Number(fixed->dwFileVersionMS & 0xFFFF),
            Number(fixed->dwFileVersionLS >> 16), Number(fixed->dwFileVersionLS & 0xFFFF));
  } else {
    ObserveCall(name, FALSE);
  }
  WCHAR* text = nullptr;
  snprintf(name, sizeof(name), "%s.product_text", key);
  if (VerQueryValueW(block, L"\\StringFileInfo\\040904B0\\ProductVersion",
                     reinterpret_cast<void**>(&text), &bytes)) {
    Observe(name, "[%s] units %u", Narrow(text), bytes);
  } else {
    Observe(name, "none");
  }
  snprintf(name, sizeof(name), "%s.file_text", key);
  if (VerQueryValueW(block, L"\\StringFileInfo\\040904B0\\FileVersion",
                     reinterpret_cast<void**>(&text), &bytes)) {
    Observe(name, "[%s] units %u", Narrow(text), bytes);
  } else {
    Observe(name, "none");
  }
  DWORD* translation = nullptr;
  snprintf(name, sizeof(name), "%s.translation", key);
  if (VerQueryValueW(block, L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                     &bytes)) {
    Observe(name, "%08lx bytes %u", Number(*translation), bytes);
  } else {
    Observe(name, "none");
  }
  snprintf(name, sizeof(name), "%s.missing_block", key);
  Observe(name, "%d",
          VerQueryValueW(block, L"\\StringFileInfo\\040904B0\\vexaNoSuchValue",
                         reinterpret_cast<void**>(&text), &bytes));
  free(block);
}

}  // namespace

void ProbeVersions() {
  ObserveVersion("ver.driver", PROBE_DIR L"\\zqvdrv64.dll");
  ObserveVersion("ver.sample", PROBE_DIR L"\\vsample.dll");
  ObserveVersion("ver.help", PROBE_DIR L"\\zqvhelp.chm");
  ObserveVersion("ver.missing", PROBE_DIR L"\\zqvnone64.dll");
  ObserveVersion("ver.missing_folder", PROBE_DIR L"\\nodir\\zqvnone64.dll");
}
