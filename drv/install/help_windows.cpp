#include "help_windows.h"

#include <windows.h>

namespace {
constexpr int kMaxPasses = 100;
constexpr DWORD kPassMilliseconds = 50;
}  // namespace

void CloseHelpWindows() {
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    HWND window = FindWindowW(L"HH Parent", L"vexaWriter Help");
    if (window == nullptr) return;
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    Sleep(kPassMilliseconds);
  }
}
