// The tray companion stand-in keeps the installer's contract: a single instance holding the
// named mutex, a window of the fixed class, and a quit request that releases the mutex.
#include <gtest/gtest.h>

#include "foundation/handles.h"
#include "runner_support.h"

namespace {

const char kMutexName[] = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
const WCHAR kWindowClass[] = L"vxs::{05759F8E-103D-41B6-8A61-EFAA89516692}";
constexpr UINT kQuitRequest = WM_USER + 2;

UniqueKernelHandle StartTray() {
  WString commandLine;
  commandLine.Format(L"\"%s\"", PackagePath(L"vextray.exe").Text());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine.Data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return UniqueKernelHandle();
  }
  CloseHandle(process.hThread);
  return UniqueKernelHandle(process.hProcess);
}

HWND WaitForTrayWindow() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (HWND window = FindWindowW(kWindowClass, nullptr)) return window;
    Sleep(100);
  }
  return nullptr;
}

DWORD ExitCodeAfterWait(HANDLE process) {
  if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process, &code);
  return code;
}

TEST(TrayCompanionTest, RunsOnceHoldsTheMutexAndQuitsOnRequest) {
  UniqueKernelHandle first = StartTray();
  ASSERT_TRUE(first.valid()) << "error " << GetLastError();
  HWND window = WaitForTrayWindow();
  ASSERT_NE(window, nullptr);

  UniqueKernelHandle mutex(CreateMutexA(nullptr, FALSE, kMutexName));
  ASSERT_TRUE(mutex.valid());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the running companion owns the mutex";

  UniqueKernelHandle second = StartTray();
  ASSERT_TRUE(second.valid());
  EXPECT_EQ(ExitCodeAfterWait(second.get()), 0u) << "a second instance ends at once";
  EXPECT_EQ(WaitForSingleObject(first.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  ASSERT_TRUE(PostMessageW(window, kQuitRequest, 0, 0));
  EXPECT_EQ(WaitForSingleObject(mutex.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0))
      << "released, not abandoned";
  ReleaseMutex(mutex.get());
  EXPECT_EQ(ExitCodeAfterWait(first.get()), 0u);
  EXPECT_EQ(FindWindowW(kWindowClass, nullptr), nullptr);
}

}  // namespace
