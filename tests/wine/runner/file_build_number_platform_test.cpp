// FileBuildNumber reads the platform's version resources of the package's files.
#include <gtest/gtest.h>

#include "runner_support.h"
#include "spooler/file_build_number.h"

namespace {

struct BuildCase {
  const WCHAR* file;
  int build;
};

class PackageBuildNumbers : public ::testing::TestWithParam<BuildCase> {};

TEST_P(PackageBuildNumbers, ReadsTheFourthNumberOfTheProductVersion) {
  WString path = PackagePath(GetParam().file);
  ASSERT_NE(GetFileAttributesW(path.Text()), INVALID_FILE_ATTRIBUTES) << Utf8(path.Text());
  EXPECT_EQ(FileBuildNumber(path.Text()), GetParam().build) << Utf8(path.Text());
}

INSTANTIATE_TEST_SUITE_P(
    Package, PackageBuildNumbers,
    ::testing::Values(BuildCase{L"drv\\zqvmon64.dll", 2609}, BuildCase{L"drv\\zqvdrv64.dll", 2609},
                      BuildCase{L"drv\\zqvui64.dll", 2609}, BuildCase{L"drv\\zqvinst64.exe", 2609},
                      BuildCase{L"drv\\zqvhelp.chm", -1}, BuildCase{L"vextray.exe", 2609}));

TEST(FileBuildNumberPlatformTest, MissingFileHasNone) {
  EXPECT_EQ(FileBuildNumber(PackagePath(L"drv\\absent.dll").Text()), -1);
}

}  // namespace
