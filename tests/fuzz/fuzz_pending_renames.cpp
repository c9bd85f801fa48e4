// Fuzz target: arbitrary bytes as the Session Manager's "PendingFileRenameOperations" value,
// read into a pending-rename table, swept, searched for our driver files and released, on a
// fresh simulated machine per input.
//
// Input layout (see make_pending_renames_corpus.py):
//   byte 0  bits 0-2: value type (REG_MULTI_SZ, REG_SZ, REG_BINARY, REG_DWORD, REG_NONE,
//                     REG_EXPAND_SZ, REG_QWORD, an undefined type)
//           bit 3: the value is replaced between the size query and the read
//           bit 4: there is no value at all
//           bit 5: one GlobalAlloc fails
//   byte 1  which GlobalAlloc call fails (1-based), when bit 5 is set
//   byte 2-3 little-endian split: with bit 3, the bytes before it are the value at the size
//           query, the bytes after it the value at the read
//   rest    the value's bytes
//
// Besides the sanitizers' findings, an input fails when a table entry breaks its invariants or
// when a global block or a handle is left behind.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "files/pending_renames.h"
#include "queries/post_reboot_check.h"
#include "winsim/files.h"
#include "winsim/machine.h"
#include "winsim/registry.h"

namespace {

const winsim::WideText kSessionManager = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const winsim::WideText kValueName = u"PendingFileRenameOperations";
const DWORD kTypes[8] = {REG_MULTI_SZ, REG_SZ,        REG_BINARY, REG_DWORD,
                         REG_NONE,     REG_EXPAND_SZ, REG_QWORD,  0x7F3A};

void Fail(const char* what) {
  fprintf(stderr, "fuzz_pending_renames: %s\n", what);
  abort();
}

void StageFiles(winsim::FileSystem& files) {
  files.AddFile(u"C:\\d\\x.dll");
  files.AddFile(u"C:\\d\\held.dll");
  files.Hold(u"C:\\d\\held.dll", "spooler");
  files.AddDirectory(u"C:\\d\\sub");
  files.AddFile(u"C:\\Windows\\System32\\zqvmon64.dll");
}

void CheckTable(const PendingRenameTable& table) {
  if (table.count < 0) Fail("negative count");
  if (table.count == 0 && (table.paths != nullptr || table.isFile != nullptr)) {
    Fail("an empty table keeps arrays");
  }
  for (int entry = 0; entry < 2 * table.count; ++entry) {
    int flag = table.isFile[entry];
    if (flag != 0 && flag != 1) Fail("a flag other than 0 or 1");
    const WCHAR* path = table.paths[entry];
    if (path == nullptr) {
      if (flag != 0) Fail("an empty entry with flag 1");
      continue;
    }
    // Walking the copy to its terminator must stay inside its block (ASan checks).
    if (lstrlenW(path) == 0) Fail("a copy of an empty string");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint8_t flags = data[0];
  const DWORD type = kTypes[flags & 7];
  const bool changes = (flags & 8) != 0;
  const bool absent = (flags & 16) != 0;
  const bool failAllocation = (flags & 32) != 0;
  const unsigned failingAllocation = data[1] == 0 ? 1u : data[1];
  const size_t split = static_cast<size_t>(data[2] | (data[3] << 8));
  std::vector<BYTE> value(data + 4, data + size);
  std::vector<BYTE> later;
  if (changes) {
    size_t at = split % (value.size() + 1);
    later.assign(value.begin() + at, value.end());
    value.resize(at);
  }

  winsim::Machine machine;
  StageFiles(machine.files());
  winsim::Registry& registry = machine.registry();
  registry.CreateKey(HKEY_LOCAL_MACHINE, kSessionManager);
  if (!absent) registry.SetValue(HKEY_LOCAL_MACHINE, kSessionManager, kValueName, type, value);
  if (changes) {
    registry.beforeNextDataRead = [&registry, type, later] {
      registry.SetValue(HKEY_LOCAL_MACHINE, kSessionManager, kValueName, type, later);
    };
  }
  if (failAllocation) machine.FailCall("GlobalAlloc", failingAllocation, ERROR_NOT_ENOUGH_MEMORY);

  {
    PendingRenameTable table;
    ReadPendingRenames(table);
    CheckTable(table);
    std::vector<const WCHAR*> ours;  // every listed file counts as ours
    for (int p = 0; p < table.count; ++p)
      if (table.paths[2 * p] != nullptr)
        ours.push_back(PathWithoutObjectPrefix(table.paths[2 * p]));
    SweepPendingRenames(table, ours.data(), static_cast<int>(ours.size()));
    CheckTable(table);
    HasPendingDriverFile(table);  // walks every source to its file-name part
    ReadPendingRenames(table);    // a second read replaces the first without leaking
    CheckTable(table);
  }
  if (machine.OutstandingGlobalBlocks() != 0) Fail("a global block was left behind");
  if (machine.OpenHandleCount() != 0) Fail("a handle was left open");
  return 0;
}
