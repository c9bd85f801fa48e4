#include "pending_renames.h"

#include "foundation/handles.h"
#include "foundation/text_compare.h"

namespace {

const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const WCHAR kPendingValueName[] = L"PendingFileRenameOperations";
const WCHAR kObjectPrefix[] = L"\\??\\";
constexpr int kObjectPrefixLength = 4;

// The value's bytes as the second read returned them: `bytes` never exceeds the block.
struct ValueData {
  UniqueGlobalBlock block;
  DWORD bytes = 0;
};

// Reads the value with a size query and a read into a zero-filled block of that size. The read
// must succeed: when the value grew in between it fails with ERROR_MORE_DATA, and the platform
// leaves the block's contents undefined then, so no byte of it can be trusted; any other failure
// (the value was deleted, say) is the same. Both give no data, and so an empty table.
bool ReadValue(ValueData& value) {
  UniqueRegistryKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS) {
    key.release();  // nothing was opened, whatever the call left in it
    return false;
  }
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), kPendingValueName, nullptr, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return false;
  }
  value.block.reset(AllocateZeroedGlobal(size));
  if (!value.block) return false;
  DWORD filled = size;
  if (RegQueryValueExW(key.get(), kPendingValueName, nullptr, nullptr,
                       static_cast<BYTE*>(value.block.get()), &filled) != ERROR_SUCCESS) {
    return false;
  }
  value.bytes = filled < size ? filled : size;
  return true;
}

// The strings of the value, one after the other. A string starts at every position below the
// limit, (bytes - 2) / 2, which leaves out the closing empty string of a well-formed list; it
// ends at its terminator or at the last whole character of the data, whichever comes first, so
// an odd byte count or a missing terminator never leads past the data.
class StringWalk {
 public:
  explicit StringWalk(const ValueData& value)
      : units_(static_cast<const WCHAR*>(value.block.get())),
        end_(value.bytes / sizeof(WCHAR)),
        limit_((static_cast<LONGLONG>(value.bytes) - 2) / 2) {}

  // Sets the next string's start and length (terminator not counted); false past the limit.
  bool Next(const WCHAR*& start, int& length) {
    if (position_ >= limit_) return false;
    LONGLONG stop = position_;
    while (stop < end_ && units_[stop] != 0) ++stop;
    start = units_ + position_;
    length = static_cast<int>(stop - position_);
    position_ = stop + 1;
    return true;
  }

 private:
  const WCHAR* units_;
  LONGLONG end_;
  LONGLONG limit_;
  LONGLONG position_ = 0;
};

int CountPairs(const ValueData& value) {
  StringWalk walk(value);
  const WCHAR* start;
  int length;
  LONGLONG strings = 0;
  while (walk.Next(start, length)) ++strings;
  return static_cast<int>(strings / 2);
}

bool NamesExistingFile(const WCHAR* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A terminated global-memory copy of `length` characters, or null when memory runs out.
WCHAR* CopyString(const WCHAR* start, int length) {
  auto* copy =
      static_cast<WCHAR*>(AllocateZeroedGlobal((static_cast<SIZE_T>(length) + 1) * sizeof(WCHAR)));
  if (copy == nullptr) return nullptr;
  for (int i = 0; i < length; ++i) copy[i] = start[i];
  copy[length] = 0;
  return copy;
}

// Fills the entries from the value; false when memory ran out. A missing copy would make a
// rename look like a deletion, so the caller then drops the whole table.
bool FillEntries(PendingRenameTable& table, const ValueData& value) {
  StringWalk walk(value);
  const WCHAR* start;
  int length;
  for (int entry = 0; entry < 2 * table.count && walk.Next(start, length); ++entry) {
    if (length == 0) continue;
    table.paths[entry] = CopyString(start, length);
    if (table.paths[entry] == nullptr) return false;
    table.isFile[entry] = NamesExistingFile(PathWithoutObjectPrefix(table.paths[entry])) ? 1 : 0;
  }
  return true;
}

bool IsDeletion(const PendingRenameTable& table, int pair) {
  return table.paths[2 * pair] != nullptr && table.paths[2 * pair + 1] == nullptr;
}

bool IsOneOf(const WCHAR* path, const WCHAR* const* list, int count) {
  for (int i = 0; i < count; ++i) {
    if (EqualsIgnoringAsciiCase(path, list[i])) return true;
  }
  return false;
}

}  // namespace

const WCHAR* PathWithoutObjectPrefix(const WCHAR* stored) {
  for (int i = 0; i < kObjectPrefixLength; ++i) {
    if (stored[i] != kObjectPrefix[i]) return stored;
  }
  return stored + kObjectPrefixLength;
}

void ReadPendingRenames(PendingRenameTable& table) {
  ReleasePendingRenames(table);
  ValueData value;
  if (!ReadValue(value)) return;
  int count = CountPairs(value);
  if (count == 0) return;
  SIZE_T entries = 2 * static_cast<SIZE_T>(count);
  UniqueGlobalBlock paths(AllocateZeroedGlobal(entries * sizeof(WCHAR*)));
  UniqueGlobalBlock flags(AllocateZeroedGlobal(entries * sizeof(int)));
  if (!paths || !flags) return;
  table.paths = static_cast<WCHAR**>(paths.release());
  table.isFile = static_cast<int*>(flags.release());
  table.count = count;
  if (!FillEntries(table, value)) ReleasePendingRenames(table);
}

void SweepPendingRenames(PendingRenameTable& table, const WCHAR* const* ours, int ourCount) {
  for (int pair = 0; pair < table.count; ++pair) {
    int source = 2 * pair;
    if (table.isFile[source] != 1 || !IsDeletion(table, pair)) continue;
    const WCHAR* path = PathWithoutObjectPrefix(table.paths[source]);
    if (IsOneOf(path, ours, ourCount) && DeleteFileW(path)) table.isFile[source] = 0;
  }
}

void ReleasePendingRenames(PendingRenameTable& table) {
  if (table.paths != nullptr) {
    for (int entry = 0; entry < 2 * table.count; ++entry) {
      if (table.paths[entry] != nullptr) GlobalFree(table.paths[entry]);
    }
    GlobalFree(table.paths);
  }
  if (table.isFile != nullptr) GlobalFree(table.isFile);
  table.paths = nullptr;
  table.isFile = nullptr;
  table.count = 0;
}

PendingRenameTable::~PendingRenameTable() {
  ReleasePendingRenames(*this);
}

void SweepBootTimeDeletes(const WCHAR* const* ours, int ourCount) {
  PendingRenameTable table;
  ReadPendingRenames(table);
  SweepPendingRenames(table, ours, ourCount);
  ReleasePendingRenames(table);
}

bool IsPendingDeletionAtBoot(const WCHAR* path) {
  PendingRenameTable table;
  ReadPendingRenames(table);
  for (int pair = 0; pair < table.count; ++pair) {
    if (IsDeletion(table, pair) &&
        EqualsIgnoringAsciiCase(PathWithoutObjectPrefix(table.paths[2 * pair]), path)) {
      return true;
    }
  }
  return false;
}
