// Simulated mutexes, process creation and the version query, where the installer's own tests
// do not reach.
#include "test_support.h"
#include "winsim/mutexes.h"
#include "winsim/processes.h"
#include "winsim/tray_companion.h"

namespace {

class SimMutexTest : public MachineTest {};

TEST_F(SimMutexTest, NamedMutexLivesWhileReferencedAndTellsOwnership) {
  HANDLE first = CreateMutexA(nullptr, TRUE, "m");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE second = CreateMutexA(nullptr, TRUE, "m");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  HANDLE other = CreateMutexA(nullptr, FALSE, "M");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "names compare exactly";
  EXPECT_EQ(WaitForSingleObject(second, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "recursive";
  EXPECT_TRUE(ReleaseMutex(first));
  EXPECT_TRUE(ReleaseMutex(first));
  EXPECT_FALSE(ReleaseMutex(first));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  CloseHandle(first);
  EXPECT_TRUE(machine().mutexes().Exists("m"));
  CloseHandle(second);
  EXPECT_FALSE(machine().mutexes().Exists("m"));
  EXPECT_TRUE(machine().mutexes().Exists("M"));
  CloseHandle(other);
}

TEST_F(SimMutexTest, AWaitTimesOutInVirtualTimeOrSeesTheOwnerEnd) {
  winsim::TrayCompanion companion{winsim::TrayCompanion::OnQuit::EndWithoutRelease, 700};
  DWORD process = companion.RunAt(machine(), u"C:\\t.exe");
  HANDLE mutex = CreateMutexA(nullptr, FALSE, winsim::TrayCompanion::kMutexName);
  EXPECT_EQ(WaitForSingleObject(mutex, 300), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(machine().ElapsedMilliseconds(), 300u);
  EXPECT_FALSE(DeleteFileW(L"C:\\t.exe"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "a running program";
  PostMessageW(FindWindowW(L"vxs::{05759F8E-103D-41B6-8A61-EFAA89516692}", nullptr), WM_USER + 2, 0,
               0);
  EXPECT_EQ(WaitForSingleObject(mutex, 5000), static_cast<DWORD>(WAIT_ABANDONED));
  EXPECT_EQ(machine().ElapsedMilliseconds(), 1000u);
  EXPECT_FALSE(machine().processes().IsRunning(process));
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
}

TEST_F(SimMutexTest, CreateProcessNeedsTheFileAndGetVersionExItsRecordSize) {
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION info = {};
  WCHAR commandLine[] = L"\"C:\\missing.exe\" /x";
  EXPECT_FALSE(CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(machine().processes().launches.size(), 1u);
  EXPECT_EQ(Utf8(machine().processes().launches[0].imagePath), "C:\\missing.exe");

  OSVERSIONINFOA version = {sizeof(version) - 1};
  EXPECT_FALSE(GetVersionExA(&version));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  version.dwOSVersionInfoSize = sizeof(version);
  EXPECT_TRUE(GetVersionExA(&version));
  EXPECT_EQ(version.dwMajorVersion * 100 + version.dwMinorVersion, 601u);
  EXPECT_EQ(version.dwBuildNumber, 7601u);
  EXPECT_STREQ(version.szCSDVersion, "Service Pack 1");
}

}  // namespace
