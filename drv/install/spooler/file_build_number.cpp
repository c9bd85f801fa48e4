#include "file_build_number.h"

#include "foundation/handles.h"

int FileBuildNumber(const WCHAR* path) {
  DWORD unused = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &unused);
  if (size == 0) return -1;
  UniqueGlobalBlock block(AllocateZeroedGlobal(size));
  if (!block || !GetFileVersionInfoW(path, 0, size, block.get())) return -1;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedBytes = 0;
  // A resource without fixed information answers the root query with fewer bytes (or none).
  if (!VerQueryValueW(block.get(), L"\\", reinterpret_cast<void**>(&fixed), &fixedBytes) ||
      fixed == nullptr || fixedBytes < sizeof(VS_FIXEDFILEINFO)) {
    return -1;
  }
  return LOWORD(fixed->dwProductVersionLS);
}
