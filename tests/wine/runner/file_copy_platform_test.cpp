// CopyIntoDirectory against the platform's own files: whole contents arrive, the line is
// logged, and a destination held open by someone else is waited for and then given up.
#include <gtest/gtest.h>

#include "foundation/handles.h"
#include "foundation/install_state.h"
#include "runner_support.h"
#include "spooler/file_copy.h"

namespace {

class FileCopyPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(source_.Path()[0], 0);
    ASSERT_NE(target_.Path()[0], 0);
    state_.moduleDir.Assign(source_.Path());
  }

  std::string CopyLine(const WCHAR* fileName, const char* ending) {
    return "  CopyFile " + Utf8(fileName) + " to " + Utf8(target_.Path()) + ")" + ending + "\r\n";
  }

  ScratchDirectory source_;
  ScratchDirectory target_;
  InstallState state_;
};

class FileCopySizes : public FileCopyPlatformTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(FileCopySizes, CopiesTheWholeFile) {
  const WCHAR* name = L"payload.bin";
  std::vector<BYTE> original = PatternBytes(GetParam());
  ASSERT_TRUE(WriteWholeFile(source_.File(name).Text(), original));
  WCHAR destination[kDestinationPathUnits];

  EXPECT_EQ(CopyIntoDirectory(state_, target_.Path(), name, destination, true), S_OK);

  EXPECT_EQ(Utf8(destination), Utf8(target_.File(name).Text()));
  std::vector<BYTE> copied;
  ASSERT_TRUE(ReadWholeFile(destination, copied));
  EXPECT_EQ(copied, original);
  EXPECT_EQ(Utf8(state_.logText.Text()), CopyLine(name, "- OK"));
  EXPECT_EQ(state_.errorCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FileCopySizes, ::testing::Values(0, 8192, 20000));

TEST_F(FileCopyPlatformTest, ReplacesAnExistingLongerFile) {
  const WCHAR* name = L"zqvhelp.chm";
  ASSERT_TRUE(WriteWholeFile(source_.File(name).Text(), PatternBytes(100)));
  ASSERT_TRUE(WriteWholeFile(target_.File(name).Text(), std::vector<BYTE>(30000, 0xEE)));

  EXPECT_EQ(CopyIntoDirectory(state_, target_.Path(), name, nullptr, true), S_OK);

  std::vector<BYTE> copied;
  ASSERT_TRUE(ReadWholeFile(target_.File(name).Text(), copied));
  EXPECT_EQ(copied, PatternBytes(100));
}

TEST_F(FileCopyPlatformTest, MissingSourceIsReportedWithThePlatformText) {
  WCHAR destination[kDestinationPathUnits];
  SetLastError(0);

  EXPECT_EQ(CopyIntoDirectory(state_, target_.Path(), L"absent.dll", destination, true), E_FAIL);

  EXPECT_EQ(Utf8(destination), Utf8(target_.File(L"absent.dll").Text()));
  std::string line = Utf8(state_.logText.Text());
  std::string expectedStart = "  Error(10): CopyFile absent.dll to " + Utf8(target_.Path()) +
                              ") Cant't open source file- FAILED! - (";
  EXPECT_EQ(line.substr(0, expectedStart.size()), expectedStart);
  EXPECT_EQ(state_.errorCount, 1);
  EXPECT_EQ(GetFileAttributesW(destination), INVALID_FILE_ATTRIBUTES) << "no destination made";
}

// A destination that another handle holds without write sharing cannot be replaced: the copy
// tries 100 times, 50 ms apart, and gives up after about five seconds.
TEST_F(FileCopyPlatformTest, HeldDestinationIsGivenUpAfterTheRetries) {
  const WCHAR* name = L"held.dll";
  ASSERT_TRUE(WriteWholeFile(source_.File(name).Text(), PatternBytes(10)));
  ASSERT_TRUE(WriteWholeFile(target_.File(name).Text(), PatternBytes(3)));
  UniqueFile holder(CreateFileW(target_.File(name).Text(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder.valid());
  DWORD start = GetTickCount();

  EXPECT_EQ(CopyIntoDirectory(state_, target_.Path(), name, nullptr, false), E_FAIL);

  DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 4900u);
  EXPECT_LT(elapsed, 10000u);
  EXPECT_EQ(Utf8(state_.logText.Text()), CopyLine(name, " Cant't open destination file- FAILED!"));
  EXPECT_EQ(state_.errorCount, 0);
  holder.reset();
  std::vector<BYTE> kept;
  ASSERT_TRUE(ReadWholeFile(target_.File(name).Text(), kept));
  EXPECT_EQ(kept, PatternBytes(3)) << "the held file is left as it was";
}

}  // namespace
