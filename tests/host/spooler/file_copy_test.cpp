#include "spooler/file_copy.h"

#include <tuple>

#include "foundation/install_state.h"
#include "test_support.h"
#include "winsim/files.h"

namespace {

const char kSystemDir[] = "C:\\windows\\system32\\";
const char kSource[] = "C:\\vexa\\drv\\zqvmon64.dll";
const char kDestination[] = "C:\\windows\\system32\\zqvmon64.dll";
const char kLineStart[] = "CopyFile zqvmon64.dll to C:\\windows\\system32\\)";
const char kSharingText[] =
    "The process cannot access the file because it is being used by another process.";

std::string Bytes(size_t count) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

class FileCopyTest : public MachineTest {
 protected:
  FileCopyTest() {
    state.moduleDir.Assign(L"C:\\vexa\\drv\\");
    files().AddDirectory(u"C:\\vexa\\drv");
    files().AddDirectory(u"C:\\windows\\system32");
  }

  HRESULT CopyMonitor(bool reportErrors) {
    return CopyIntoDirectory(state, winsim::Ptr(Widen(kSystemDir)), L"zqvmon64.dll", destination,
                             reportErrors);
  }
  winsim::FileSystem& files() { return machine().files(); }
  std::string Log() { return Utf8(state.logText.Text()); }
  std::string Contents(const char* path) { return files().Contents(Widen(path)); }

  InstallState state;
  WCHAR destination[kDestinationPathUnits] = L"unchanged";
};

struct SizeCase {
  size_t size;
  unsigned reads;
  unsigned writes;
};

void PrintTo(const SizeCase& c, std::ostream* out) {
  *out << c.size << " bytes";
}

class FileCopySizeTest : public FileCopyTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(FileCopySizeTest, CopiesInChunksOf8192Bytes) {
  files().AddFile(Widen(kSource), Bytes(GetParam().size));

  EXPECT_EQ(CopyMonitor(true), S_OK);

  EXPECT_EQ(machine().CallCount("ReadFile"), GetParam().reads);
  EXPECT_EQ(machine().CallCount("WriteFile"), GetParam().writes);
  EXPECT_EQ(Contents(kDestination), Bytes(GetParam().size));
  EXPECT_EQ(Log(), JoinLines({"  CopyFile zqvmon64.dll to C:\\windows\\system32\\)- OK"}));
  EXPECT_EQ(Utf8(destination), kDestination);
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(state.indent, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FileCopySizeTest,
                         ::testing::Values(SizeCase{0, 1, 0}, SizeCase{8191, 1, 1},
                                           SizeCase{8192, 2, 1}, SizeCase{16384, 3, 2},
                                           SizeCase{20000, 3, 3}));

TEST_F(FileCopyTest, ReplacesALongerExistingFile) {
  files().AddFile(Widen(kSource), "new");
  files().AddFile(Widen(kDestination), Bytes(30000));
  EXPECT_EQ(CopyMonitor(true), S_OK);
  EXPECT_EQ(Contents(kDestination), "new");
}

struct FailureCase {
  const char* name;
  void (*stage)(winsim::Machine&);
  int code;
  const char* ending;
  const char* systemText;
  const char* destinationAfter;  // null: no destination file
  std::string destinationBytes;
  bool installerDirectoryUnknown = false;
};

void PrintTo(const FailureCase& c, std::ostream* out) {
  *out << c.name;
}

void SourceOf20000Bytes(winsim::Machine& machine) {
  machine.files().AddFile(Widen(kSource), Bytes(20000));
}

const FailureCase kFailures[] = {
    {"SourceMissing", [](winsim::Machine&) {}, 10, " Cant't open source file- FAILED!",
     "The system cannot find the file specified.", nullptr, ""},
    {"DestinationHeld",
     [](winsim::Machine& m) {
       SourceOf20000Bytes(m);
       m.files().AddFile(Widen(kDestination), "old");
       m.files().Hold(Widen(kDestination));
     },
     9, " Cant't open destination file- FAILED!", kSharingText, "", "old"},
    {"ShortWrite",
     [](winsim::Machine& m) {
       SourceOf20000Bytes(m);
       m.files().AddFile(Widen(kDestination));
       m.files().SetWriteLimit(Widen(kDestination), 100);
     },
     8, "Copy Error- FAILED!", "The system cannot write to the specified device.", "", Bytes(100)},
    {"WriteFails",
     [](winsim::Machine& m) {
       SourceOf20000Bytes(m);
       m.FailCall("WriteFile", 2, ERROR_DISK_FULL);
     },
     8, "Copy Error- FAILED!", "There is not enough space on the disk.", "", Bytes(8192)},
    {"ReadFailsAfterTheFirstChunk",
     [](winsim::Machine& m) {
       SourceOf20000Bytes(m);
       m.FailCall("ReadFile", 2, ERROR_READ_FAULT);
     },
     8, "Copy Error- FAILED!", "The system cannot read from the specified device.", "",
     Bytes(8192)},
    // A file of that name in the current directory is not the package's.
    {"InstallerDirectoryUnknown",
     [](winsim::Machine& m) {
       SourceOf20000Bytes(m);
       m.files().AddFile(u"zqvmon64.dll", "stray");
     },
     10, " Cant't open source file- FAILED!", "The system cannot find the path specified.", nullptr,
     "", true},
};

class FileCopyFailureTest : public FileCopyTest,
                            public ::testing::WithParamInterface<std::tuple<FailureCase, bool>> {};

// Each failing stage ends the one line; it is an error of the run only when the caller asks.
TEST_P(FileCopyFailureTest, EndsTheLineAndReportsOnlyWhenAsked) {
  const FailureCase& c = std::get<0>(GetParam());
  bool reportErrors = std::get<1>(GetParam());
  c.stage(machine());
  if (c.installerDirectoryUnknown) state.moduleDir.Release();

  EXPECT_EQ(CopyMonitor(reportErrors), E_FAIL);

  std::string expected = reportErrors ? "  Error(" + std::to_string(c.code) + "): " + kLineStart +
                                            c.ending + " - (" + c.systemText + ")\r\n"
                                      : std::string("  ") + kLineStart + c.ending + "\r\n";
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(state.errorCount, reportErrors ? 1 : 0);
  EXPECT_EQ(state.indent, 0);
  EXPECT_EQ(Utf8(destination), kDestination) << "known whatever the outcome";
  EXPECT_EQ(files().Exists(Widen(kDestination)), c.destinationAfter != nullptr);
  EXPECT_EQ(Contents(kDestination), c.destinationBytes);
}

INSTANTIATE_TEST_SUITE_P(Stages, FileCopyFailureTest,
                         ::testing::Combine(::testing::ValuesIn(kFailures), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<FailureCase, bool>>& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "Reported" : "Plain");
                         });

// A destination held for longer than the attempts last: 100 opens, 99 pauses of 50 ms.
TEST_F(FileCopyTest, HeldDestinationIsGivenUpAfterOneHundredAttempts) {
  files().AddFile(Widen(kSource), "x");
  files().AddFile(Widen(kDestination));
  files().Hold(Widen(kDestination));

  EXPECT_EQ(CopyMonitor(true), E_FAIL);

  EXPECT_EQ(machine().CallCount("CreateFileW"), 1u + 100u);
  EXPECT_EQ(machine().ElapsedMilliseconds(), 99u * 50u);
  EXPECT_EQ(Log(), JoinLines({("  Error(9): " + std::string(kLineStart) +
                               " Cant't open destination file- FAILED! - (" + kSharingText + ")")
                                  .c_str()}));
}

// Opens that take long themselves end the attempts once 10,000 ms have passed; the time-out
// line comes before the copy line and the report still names the open's error.
TEST_F(FileCopyTest, SlowOpensEndAtTheTimeLimit) {
  // 3000, 6050, 9100 ms: still within the limit; the fourth attempt ends at 12150 ms. Opens of
  // 4975 ms: the second ends exactly at the limit, which is still within it.
  files().AddFile(Widen(kSource), "x");
  files().AddFile(Widen(kDestination));
  files().Hold(Widen(kDestination), "spooler", ERROR_ACCESS_DENIED);
  for (auto [delay, attempts] : {std::pair{3000u, 4u}, std::pair{4975u, 3u}}) {
    files().SetOpenDelay(Widen(kDestination), delay);
    unsigned opens = machine().CallCount("CreateFileW");
    state.logText.Release();

    EXPECT_EQ(CopyMonitor(true), E_FAIL);

    EXPECT_EQ(machine().CallCount("CreateFileW") - opens, 1u + attempts) << delay;
    EXPECT_EQ(Log(), JoinLines({"  CreateFile - timeout",
                                ("  Error(9): " + std::string(kLineStart) +
                                 " Cant't open destination file- FAILED! - (Access is denied.)")
                                    .c_str()}));
  }
}

TEST_F(FileCopyTest, TheTimeLimitHoldsAcrossTheTickCounterWrapping) {
  machine().SetTickCount(0xFFFFFFFFu - 1000u);
  files().AddFile(Widen(kSource), "x");
  files().AddFile(Widen(kDestination));
  files().Hold(Widen(kDestination));

  EXPECT_EQ(CopyMonitor(false), E_FAIL);

  EXPECT_EQ(machine().CallCount("CreateFileW"), 1u + 100u) << "no early time-out at the wrap";
}

TEST_F(FileCopyTest, ADestinationFreedDuringTheRetriesIsWritten) {
  files().AddFile(Widen(kSource), "fresh");
  for (unsigned call = 2; call <= 4; ++call) {  // call 1 opens the source
    machine().FailCall("CreateFileW", call, ERROR_SHARING_VIOLATION);
  }

  EXPECT_EQ(CopyMonitor(true), S_OK);

  EXPECT_EQ(machine().ElapsedMilliseconds(), 3u * 50u);
  EXPECT_EQ(Contents(kDestination), "fresh");
  EXPECT_EQ(Log(), JoinLines({"  CopyFile zqvmon64.dll to C:\\windows\\system32\\)- OK"}));
}

// Directories are joined to the file name with exactly one backslash.
TEST_F(FileCopyTest, JoinsEachDirectoryAndTheNameWithOneBackslash) {
  struct Case {
    const char* moduleDir;
    const char* targetDir;
    const char* source;
    const char* destination;
  } cases[] = {
      {"C:\\vexa\\drv\\", "C:\\out\\", "C:\\vexa\\drv\\f.dll", "C:\\out\\f.dll"},
      {"C:\\vexa\\drv", "C:\\out", "C:\\vexa\\drv\\f.dll", "C:\\out\\f.dll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.moduleDir) + " / " + c.targetDir);
    files().AddFile(Widen(c.source), "payload");
    files().AddDirectory(u"C:\\out");
    state.moduleDir.Assign(winsim::Ptr(Widen(c.moduleDir)));
    state.logText.Release();

    EXPECT_EQ(
        CopyIntoDirectory(state, winsim::Ptr(Widen(c.targetDir)), L"f.dll", destination, true),
        S_OK);

    EXPECT_EQ(Utf8(destination), c.destination);
    EXPECT_EQ(Contents(c.destination), "payload");
    EXPECT_EQ(Log(), "  CopyFile f.dll to " + std::string(c.targetDir) + ")- OK\r\n");
    files().Remove(Widen(c.source));
    files().Remove(Widen(c.destination));
  }
}

TEST_F(FileCopyTest, PercentSignsInPathsAreText) {
  state.moduleDir.Assign(L"C:\\100%\\");
  files().AddFile(u"C:\\100%\\a%x.dll", "payload");
  files().AddDirectory(u"C:\\%s%d");

  EXPECT_EQ(CopyIntoDirectory(state, L"C:\\%s%d\\", L"a%x.dll", nullptr, true), S_OK);
  EXPECT_EQ(CopyIntoDirectory(state, L"C:\\%s%d\\", L"b%s.dll", nullptr, true), E_FAIL);

  EXPECT_EQ(Contents("C:\\%s%d\\a%x.dll"), "payload");
  EXPECT_EQ(Log(), JoinLines({"  CopyFile a%x.dll to C:\\%s%d\\)- OK",
                              "  Error(10): CopyFile b%s.dll to C:\\%s%d\\) Cant't open source "
                              "file- FAILED! - (The system cannot find the file specified.)"}));
}

// The caller's buffer holds 264 units: a destination path of 263 characters fits, a longer
// one is refused before anything is opened instead of running past the buffer.
TEST_F(FileCopyTest, RefusesADestinationPathLongerThanTheCallersBuffer) {
  const std::string fits = "C:\\" + std::string(247, 'd') + "\\";     // + 12 = 263
  const std::string tooLong = "C:\\" + std::string(248, 'd') + "\\";  // + 12 = 264
  files().AddFile(Widen(kSource), "payload");
  files().AddDirectory(Widen(fits));
  files().AddDirectory(Widen(tooLong));

  EXPECT_EQ(CopyIntoDirectory(state, winsim::Ptr(Widen(fits)), L"zqvmon64.dll", destination, true),
            S_OK);
  EXPECT_EQ(Utf8(destination), fits + "zqvmon64.dll");
  unsigned opensBefore = machine().CallCount("CreateFileW");
  state.logText.Release();

  EXPECT_EQ(
      CopyIntoDirectory(state, winsim::Ptr(Widen(tooLong)), L"zqvmon64.dll", destination, true),
      E_FAIL);

  EXPECT_EQ(machine().CallCount("CreateFileW"), opensBefore);
  EXPECT_EQ(Utf8(destination), "");
  EXPECT_EQ(Log(), "  Error(9): CopyFile zqvmon64.dll to " + tooLong +
                       ") Cant't open destination file- FAILED! - (The filename or extension is "
                       "too long.)\r\n");
  EXPECT_FALSE(files().Exists(Widen(tooLong + "zqvmon64.dll")));

  EXPECT_EQ(CopyIntoDirectory(state, winsim::Ptr(Widen(tooLong)), L"zqvmon64.dll", nullptr, true),
            S_OK)
      << "without a buffer to fill, the length does not matter";
}

}  // namespace
