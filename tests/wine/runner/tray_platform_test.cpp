// StartTray and StopTray against the platform with the package's companion: registered in the
// machine's Run key, its path quoted, and started shown; asked to quit within one pass, its file
// and value removed, or its file kept when it is the one the same install registers again.
#include <gtest/gtest.h>

#include "foundation/handles.h"
#include "foundation/install_state.h"
#include "foundation/wstring.h"
#include "runner_support.h"
#include "tray/tray.h"
#include "tray/tray_contract.h"

namespace {

HWND WaitForCompanionWindow() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (HWND window = FindWindowW(kTrayWindowClass, nullptr)) return window;
    Sleep(100);
  }
  return nullptr;
}

// The registered path, or "(none)".
std::string RunValue() {
  UniqueRegistryKey run;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKeyPath, 0, KEY_READ, run.put()) != ERROR_SUCCESS) {
    return "(none)";
  }
  WCHAR path[MAX_PATH + 1] = {};
  DWORD bytes = MAX_PATH * sizeof(WCHAR);
  if (RegQueryValueExW(run.get(), kTrayRunValue, nullptr, nullptr, reinterpret_cast<BYTE*>(path),
                       &bytes) != ERROR_SUCCESS) {
    return "(none)";
  }
  return Utf8(path);
}

bool FileExists(const WString& path) {
  return GetFileAttributesW(path.Text()) != INVALID_FILE_ATTRIBUTES;
}

TEST(TrayPlatformTest, StartsTheCompanionAndStopsAndRemovesIt) {
  ScratchDirectory scratch;
  ASSERT_NE(scratch.Path()[0], 0);
  WString trayFile = scratch.File(L"vextray.exe");
  ASSERT_TRUE(CopyFileW(PackagePath(L"vextray.exe").Text(), trayFile.Text(), FALSE));
  InstallState state;
  state.installTray = 1;
  state.moduleDir.Assign(scratch.Path());
  state.moduleDir.Append(L"drv\\");  // the installer's own directory; it need not exist
  EXPECT_EQ(Utf8(TrayPath(state.moduleDir).Text()), Utf8(trayFile.Text()));

  for (const WCHAR* keep :
       {static_cast<const WCHAR*>(trayFile.Text()), static_cast<const WCHAR*>(nullptr)}) {
    StartTray(state);
    EXPECT_EQ(RunValue(), "\"" + Utf8(trayFile.Text()) + "\"");  // quoted: a blank in it
    ASSERT_NE(WaitForCompanionWindow(), nullptr);

    DWORD start = GetTickCount();
    StopTray(keep);
    EXPECT_LT(GetTickCount() - start, 5000u) << "the companion quits within the first wait";
    EXPECT_EQ(FindWindowW(kTrayWindowClass, nullptr), nullptr);
    EXPECT_EQ(RunValue(), "(none)");
    EXPECT_EQ(FileExists(trayFile), keep != nullptr);
  }
}

}  // namespace
