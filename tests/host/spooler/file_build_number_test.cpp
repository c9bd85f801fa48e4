#include "spooler/file_build_number.h"

#include "foundation/install_state.h"
#include "spooler/file_copy.h"

#include "test_support.h"
#include "winsim/files.h"

namespace {

const WCHAR kPath[] = L"C:\\vexa\\drv\\zqvmon64.dll";

class FileBuildNumberTest : public MachineTest {
 protected:
  FileBuildNumberTest() { machine().files().AddFile(winsim::FromPtr(kPath), "MZ"); }
  void SetVersion(std::array<WORD, 4> version) {
    machine().files().SetProductVersion(winsim::FromPtr(kPath), version);
  }
};

TEST_F(FileBuildNumberTest, IsTheFourthNumberOfTheProductVersion) {
  struct Case {
    std::array<WORD, 4> version;
    int build;
  } cases[] = {
      {{1, 0, 0, 2609}, 2609},
      {{1, 2, 3, 0}, 0},
      {{65535, 65535, 65535, 65535}, 65535},
      {{2609, 0, 2609, 7}, 7},
  };
  for (const Case& c : cases) {
    SetVersion(c.version);
    EXPECT_EQ(FileBuildNumber(kPath), c.build) << c.version[3];
  }
}

TEST_F(FileBuildNumberTest, ComesFromTheProductVersionNotTheFileVersion) {
  SetVersion({1, 0, 0, 2609});
  machine().files().SetFileVersion(winsim::FromPtr(kPath), {1, 0, 0, 1000});
  EXPECT_EQ(FileBuildNumber(kPath), 2609);
}

TEST_F(FileBuildNumberTest, MissingFileOrResourceGivesMinusOne) {
  EXPECT_EQ(FileBuildNumber(kPath), -1) << "no version resource";
  EXPECT_EQ(FileBuildNumber(L"C:\\vexa\\drv\\absent.dll"), -1);
  EXPECT_EQ(FileBuildNumber(L"C:\\nowhere\\absent.dll"), -1);
  EXPECT_EQ(machine().CallCount("GlobalAlloc"), 0u);
}

// Whatever step fails, the result is -1 and the block is released (checked by the fixture).
TEST_F(FileBuildNumberTest, AnyFailingStepGivesMinusOne) {
  SetVersion({1, 0, 0, 2609});
  for (const char* function :
       {"GetFileVersionInfoSizeW", "GlobalAlloc", "GetFileVersionInfoW", "VerQueryValueW"}) {
    machine().FailCall(function, machine().CallCount(function) + 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(FileBuildNumber(kPath), -1) << function;
  }
  EXPECT_EQ(FileBuildNumber(kPath), 2609);
}

TEST_F(FileBuildNumberTest, AFailedAllocationReadsNothing) {
  SetVersion({1, 0, 0, 2609});
  machine().FailCall("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(FileBuildNumber(kPath), -1);
  EXPECT_EQ(machine().CallCount("GetFileVersionInfoW"), 0u);
}

}  // namespace

namespace {

class CopiedFileBuildNumberTest : public MachineTest {};

TEST_F(CopiedFileBuildNumberTest, ACopyCarriesTheVersionOfItsSource) {
  machine().files().AddFile(u"C:\\vexa\\drv\\zqvmon64.dll", "MZ");
  machine().files().SetProductVersion(u"C:\\vexa\\drv\\zqvmon64.dll", {1, 0, 0, 2609});
  machine().files().AddDirectory(u"C:\\windows\\system32");
  InstallState state;
  state.moduleDir.Assign(L"C:\\vexa\\drv\\");
  ASSERT_EQ(CopyIntoDirectory(state, L"C:\\windows\\system32\\", L"zqvmon64.dll", nullptr, true),
            S_OK);
  EXPECT_EQ(FileBuildNumber(L"C:\\windows\\system32\\zqvmon64.dll"), 2609);
}

}  // namespace
