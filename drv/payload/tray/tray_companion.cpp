// Stand-in tray companion. Keeps the contract the installer relies on: one instance at a time,
// held through the named mutex for as long as it runs; a hidden top-level window of the fixed
// class, which the installer finds with FindWindowW; and the quit request WM_USER + 2, after
// which it releases the mutex and ends.
#include <windows.h>

namespace {

const char kMutexName[] = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
const WCHAR kWindowClass[] = L"vxs::{05759F8E-103D-41B6-8A61-EFAA89516692}";
constexpr UINT kQuitRequest = WM_USER + 2;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kQuitRequest:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  // Created owned, so that a waiter on the mutex succeeds only once this instance lets go.
  HANDLE mutex = CreateMutexA(nullptr, TRUE, kMutexName);
  if (mutex == nullptr) return 1;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {  // another instance runs and owns it
    CloseHandle(mutex);
    return 0;
  }

  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWindowClass;
  int exitCode = 1;
  if (RegisterClassW(&windowClass) != 0 &&
      CreateWindowExW(0, kWindowClass, L"vexaWriter", WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance,
                      nullptr) != nullptr) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    exitCode = 0;
  }
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  return exitCode;
}
