#include "files/pending_renames.h"

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "files/pending_rename_value.h"
#include "test_support.h"
#include "winsim/files.h"
#include "winsim/registry.h"

using namespace std::string_literals;
using namespace pending_rename_value;

namespace {

// Each entry as its stored string ("(none)" for an empty one) and its flag.
using Entries = std::vector<std::pair<std::string, int>>;

class PendingRenamesTest : public MachineTest {
 protected:
  PendingRenamesTest() {
    auto& files = machine().files();
    files.AddFile(u"C:\\d\\a.dll");
    files.AddFile(u"C:\\d\\b.dll");
    files.AddFile(u"C:\\d\\held.dll");
    files.Hold(u"C:\\d\\held.dll", "spooler");
    files.AddDirectory(u"C:\\d\\sub");
    // A file whose path begins with a cut-short prefix: found only when such a string is used
    // whole.
    files.AddFile(u"\\??C:\\d\\a.dll");
    machine().registry().CreateKey(HKEY_LOCAL_MACHINE, kSessionManager);
  }

  Entries Read() {
    ReadPendingRenames(table);
    return Listed();
  }
  Entries Listed() const {
    Entries entries;
    for (int i = 0; i < 2 * table.count; ++i) {
      entries.emplace_back(table.paths[i] ? Utf8(table.paths[i]) : "(none)", table.isFile[i]);
    }
    return entries;
  }
  void RemoveValue() {
    machine().registry().DeleteValue(HKEY_LOCAL_MACHINE, kSessionManager, kName);
  }

  PendingRenameTable table;
};

const std::u16string kA = u"\\??\\C:\\d\\a.dll";
const std::u16string kB = u"\\??\\C:\\d\\b.dll";

TEST_F(PendingRenamesTest, ParsesTheValueWithinItsBytes) {
  struct Case {
    const char* name;
    std::optional<std::vector<BYTE>> bytes;  // none: no value
    DWORD type;
    Entries expected;
    unsigned attributeCalls;
  } cases[] = {
      {"no value", std::nullopt, REG_MULTI_SZ, {}, 0},
      {"zero bytes", std::vector<BYTE>(), REG_MULTI_SZ, {}, 0},
      {"one byte", std::vector<BYTE>{0x41}, REG_MULTI_SZ, {}, 0},
      {"only the closing string", Bytes(u"\0"s), REG_MULTI_SZ, {}, 0},
      {"a single string", Bytes(kA + u"\0\0"s), REG_MULTI_SZ, {}, 0},
      {"one deletion", Bytes(kA + u"\0\0\0"s), REG_MULTI_SZ, {{Utf8(kA), 1}, {"(none)", 0}}, 1},
      {"an unpaired third string is not read",
       Bytes(kA + u"\0\0"s + kB + u"\0\0"s),
       REG_MULTI_SZ,
       {{Utf8(kA), 1}, {"(none)", 0}},
       1},
      {"empty strings are entries",
       Bytes(u"\0\0\0\0"s),
       REG_MULTI_SZ,
       {{"(none)", 0}, {"(none)", 0}},
       0},
      {"the prefix is removed only when whole",
       Bytes(u"C:\\d\\a.dll\0\0\\??C:\\d\\a.dll\0\0\\??\0\0\\??\\\0\0\0"s),
       REG_MULTI_SZ,
       {{"C:\\d\\a.dll", 1},
        {"(none)", 0},
        {"\\??C:\\d\\a.dll", 1},
        {"(none)", 0},
        {"\\??", 0},
        {"(none)", 0},
        {"\\??\\", 0},
        {"(none)", 0}},
       4},
      {"flags of directories, missing, held files and new paths",
       Bytes(u"\\??\\C:\\d\\sub\0\0\\??\\C:\\d\\gone.dll\0\0\\??\\C:\\d\\held.dll\0\0"s + kA +
             u"\0"s + kB + u"\0\0"s),
       REG_MULTI_SZ,
       {{"\\??\\C:\\d\\sub", 0},
        {"(none)", 0},
        {"\\??\\C:\\d\\gone.dll", 0},
        {"(none)", 0},
        {"\\??\\C:\\d\\held.dll", 1},
        {"(none)", 0},
        {Utf8(kA), 1},
        {Utf8(kB), 1}},
       5},
      {"odd size",
       [] {
         auto bytes = Bytes(kA + u"\0\0\0"s);
         bytes.push_back(0x41);
         return bytes;
       }(),
       REG_MULTI_SZ,
       {{Utf8(kA), 1}, {"(none)", 0}},
       1},
      {"no terminator: the last string ends with the data",
       Bytes(u"C:\\d\\a.dll\0C:\\d\\b.dll"s),
       REG_MULTI_SZ,
       {{"C:\\d\\a.dll", 1}, {"C:\\d\\b.dll", 1}},
       2},
      {"no terminator and an odd size: the half character is dropped",
       [] {
         auto bytes = Bytes(u"C:\\d\\a.dll\0C:\\d\\b.dll"s);
         bytes.pop_back();
         return bytes;
       }(),
       REG_MULTI_SZ,
       {{"C:\\d\\a.dll", 1}, {"C:\\d\\b.dl", 0}},
       2},
      {"REG_SZ is read the same",
       Bytes(kA + u"\0\0\0"s),
       REG_SZ,
       {{Utf8(kA), 1}, {"(none)", 0}},
       1},
      {"REG_BINARY is read the same",
       Bytes(kA + u"\0\0\0"s),
       REG_BINARY,
       {{Utf8(kA), 1}, {"(none)", 0}},
       1},
      {"REG_DWORD holds one string at most", Bytes(u"AA"s), REG_DWORD, {}, 0},
  };
  for (const Case& c : cases) {
    RemoveValue();
    if (c.bytes) SetRaw(*c.bytes, c.type);
    unsigned attributeCalls = machine().CallCount("GetFileAttributesW");
    EXPECT_EQ(Read(), c.expected) << c.name;
    EXPECT_EQ(machine().CallCount("GetFileAttributesW") - attributeCalls, c.attributeCalls)
        << c.name;
    EXPECT_EQ(machine().OpenHandleCount(), 0u) << c.name;
    ReleasePendingRenames(table);
    EXPECT_EQ(machine().OutstandingGlobalBlocks(), 0u) << c.name;
  }
}

TEST_F(PendingRenamesTest, WithoutTheKeyTheTableIsEmpty) {
  machine().registry().DeleteKey(HKEY_LOCAL_MACHINE, kSessionManager);
  EXPECT_EQ(Read(), Entries());
}

TEST_F(PendingRenamesTest, SweepDeletesFreeFilesOfOurDeletionEntriesOnly) {
  auto& files = machine().files();
  files.AddFile(u"C:\\d\\other.dll");  // another program's deletion: left to the boot
  files.AddFile(u"C:\\d\\first.dll");
  files.AddFile(u"C:\\d\\renamed.dll");
  files.AddFile(u"C:\\d\\target.dll");
  files.AddFile(u"C:\\d\\last.dll");
  SetStrings({u"\\??\\C:\\d\\first.dll", u"", u"\\??\\C:\\d\\held.dll", u"",
              u"\\??\\C:\\d\\renamed.dll", u"\\??\\C:\\d\\target.dll", u"\\??\\C:\\d\\gone.dll",
              u"", u"C:\\d\\last.dll", u"", u"\\??\\C:\\d\\other.dll", u""});
  std::vector<BYTE> stored = StoredBytes();
  ReadPendingRenames(table);
  const WCHAR* ours[] = {L"C:\\D\\First.dll", L"C:\\d\\held.dll", L"C:\\d\\renamed.dll",
                         L"C:\\d\\gone.dll", L"C:\\d\\last.dll"};
  SweepPendingRenames(table, ours, 5);
  EXPECT_EQ(Listed(), (Entries{{"\\??\\C:\\d\\first.dll", 0},
                               {"(none)", 0},
                               {"\\??\\C:\\d\\held.dll", 1},
                               {"(none)", 0},
                               {"\\??\\C:\\d\\renamed.dll", 1},
                               {"\\??\\C:\\d\\target.dll", 1},
                               {"\\??\\C:\\d\\gone.dll", 0},
                               {"(none)", 0},
                               {"C:\\d\\last.dll", 0},
                               {"(none)", 0},
                               {"\\??\\C:\\d\\other.dll", 1},
                               {"(none)", 0}}));
  EXPECT_TRUE(files.Exists(u"C:\\d\\other.dll"));
  EXPECT_FALSE(files.Exists(u"C:\\d\\first.dll"));
  EXPECT_TRUE(files.Exists(u"C:\\d\\held.dll"));
  EXPECT_TRUE(files.Exists(u"C:\\d\\renamed.dll"));
  EXPECT_TRUE(files.Exists(u"C:\\d\\target.dll"));
  EXPECT_FALSE(files.Exists(u"C:\\d\\last.dll"));
  EXPECT_EQ(machine().CallCount("DeleteFileW"), 3u);  // first, held, last
  EXPECT_EQ(StoredBytes(), stored);
}

TEST_F(PendingRenamesTest, AValueChangedBetweenSizeQueryAndRead) {
  const std::u16string kHeld = u"\\??\\C:\\d\\held.dll";
  struct Case {
    const char* name;
    std::function<void()> change;
    Entries expected;
  } cases[] = {
      // The platform leaves the buffer undefined on ERROR_MORE_DATA: nothing of it is used.
      {"grown",
       [] {
         SetStrings({kA, u"", kB, u"", u"\\??\\C:\\d\\c.dll", u""});
       },
       {}},
      // Only the bytes the read returned count, not the zero-filled rest of the buffer.
      {"shrunk",
       [] {
         SetStrings({kB, u""});
       },
       {{Utf8(kB), 1}, {"(none)", 0}}},
      {"deleted",
       [] {
         winsim::Machine::Current().registry().DeleteValue(HKEY_LOCAL_MACHINE, kSessionManager,
                                                           kName);
       },
       {}},
      {"retyped",
       [] { SetRaw(StoredBytes(), REG_BINARY); },
       {{Utf8(kA), 1}, {"(none)", 0}, {Utf8(kHeld), 1}, {"(none)", 0}}},
  };
  for (const Case& c : cases) {
    SetStrings({kA, u"", kHeld, u""});
    machine().registry().beforeNextDataRead = c.change;
    EXPECT_EQ(Read(), c.expected) << c.name;
    EXPECT_EQ(machine().OpenHandleCount(), 0u) << c.name;
  }
}

TEST_F(PendingRenamesTest, FailuresGiveAnEmptyTableAndReleaseEverything) {
  SetStrings({kA, u"", u"\\??\\C:\\d\\x.dll", kB, u"\\??\\C:\\d\\held.dll", u""});
  const Entries full = Read();
  ASSERT_EQ(full.size(), 6u);
  ReleasePendingRenames(table);
  unsigned allocations = machine().CallCount("GlobalAlloc");
  Read();
  allocations = machine().CallCount("GlobalAlloc") - allocations;
  EXPECT_EQ(allocations, 7u);  // buffer, two arrays, four copies
  struct Case {
    std::string name;
    std::function<void()> inject;
  };
  std::vector<Case> cases = {
      {"open fails",
       [this] {
         machine().FailCall("RegOpenKeyExA", machine().CallCount("RegOpenKeyExA") + 1,
                            ERROR_ACCESS_DENIED);
       }},
      {"size query fails",
       [this] {
         machine().FailCall("RegQueryValueExW", machine().CallCount("RegQueryValueExW") + 1,
                            ERROR_ACCESS_DENIED);
       }},
      {"read fails",
       [this] {
         machine().FailCall("RegQueryValueExW", machine().CallCount("RegQueryValueExW") + 2,
                            ERROR_CANTREAD);
       }},
  };
  for (unsigned n = 1; n <= allocations; ++n) {
    cases.push_back({"allocation " + std::to_string(n) + " fails", [this, n] {
                       machine().FailCall("GlobalAlloc", machine().CallCount("GlobalAlloc") + n,
                                          ERROR_NOT_ENOUGH_MEMORY);
                     }});
  }
  for (const Case& c : cases) {
    EXPECT_EQ(Read(), full) << c.name;  // a failed read must not leave the old contents
    c.inject();
    EXPECT_EQ(Read(), Entries()) << c.name;
    EXPECT_EQ(machine().OutstandingGlobalBlocks(), 0u) << c.name;
    EXPECT_EQ(machine().OpenHandleCount(), 0u) << c.name;
  }
  machine().registry().DenyAccess(HKEY_LOCAL_MACHINE, kSessionManager, KEY_QUERY_VALUE);
  EXPECT_EQ(Read(), Entries()) << "key not readable";
}

// The same steps and the same expected text as the Wine check 40_pending_renames.sh, which
// measured them on the real platform: the simulated MoveFileExW must write what the platform
// writes, and the table must read it back the same way.
TEST_F(PendingRenamesTest, MatchesTheLayoutOfTheRealPlatform) {
  auto& files = machine().files();
  files.AddFile(u"C:\\probe\\del.dll");
  files.AddFile(u"C:\\probe\\ren.dll");
  files.AddFile(u"C:\\probe\\held.dll");
  files.AddDirectory(u"C:\\probe\\sub");
  EXPECT_TRUE(MoveFileExW(L"C:\\probe\\del.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(
      MoveFileExW(L"C:\\probe\\ren.dll", L"C:\\probe\\ren2.dll", MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(MoveFileExW(L"C:\\probe\\gone.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(MoveFileExW(L"C:\\probe\\held.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(MoveFileExW(L"C:\\probe\\sub", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));

  const auto* value = machine().registry().GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kName);
  ASSERT_NE(value, nullptr);
  std::string raw =
      "type " + std::to_string(value->type) + " bytes " + std::to_string(value->data.size()) + "\n";
  std::u16string units(reinterpret_cast<const char16_t*>(value->data.data()),
                       value->data.size() / 2);
  for (char16_t unit : units) raw += unit == 0 ? "\\0" : Utf8(std::u16string(1, unit));
  EXPECT_EQ(raw,
            "type 7 bytes 260\n"
            "\\??\\C:\\probe\\del.dll\\0\\0\\??\\C:\\probe\\ren.dll\\0\\??\\C:\\probe\\ren2.dll\\0"
            "\\??\\C:\\probe\\gone.dll\\0\\0\\??\\C:\\probe\\held.dll\\0\\0\\??\\C:\\probe\\sub\\0"
            "\\0\\0");

  Entries expected = {{"\\??\\C:\\probe\\del.dll", 1},  {"(none)", 0},
                      {"\\??\\C:\\probe\\ren.dll", 1},  {"\\??\\C:\\probe\\ren2.dll", 0},
                      {"\\??\\C:\\probe\\gone.dll", 0}, {"(none)", 0},
                      {"\\??\\C:\\probe\\held.dll", 1}, {"(none)", 0},
                      {"\\??\\C:\\probe\\sub", 0},      {"(none)", 0}};
  EXPECT_EQ(Read(), expected);
  files.Hold(u"C:\\probe\\held.dll");
  const WCHAR* ours[] = {L"C:\\probe\\del.dll", L"C:\\probe\\ren.dll", L"C:\\probe\\held.dll"};
  SweepPendingRenames(table, ours, 3);
  expected[0].second = 0;
  EXPECT_EQ(Listed(), expected);
  EXPECT_FALSE(files.Exists(u"C:\\probe\\del.dll"));
  EXPECT_TRUE(files.Exists(u"C:\\probe\\ren.dll"));
  EXPECT_TRUE(files.Exists(u"C:\\probe\\held.dll"));
}

}  // namespace
