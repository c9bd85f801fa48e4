// Test helper for the Wine checks: finds the installer's log window (a dialog with one of the
// two log titles), and reads it, closes it, or holds Shift for the installer to see.
//
//   log_window_probe wait DIR SECONDS   waits for the window; writes DIR\title.txt, DIR\text.txt
//                                       (the text of control 1001) and DIR\layout.txt (UTF-8);
//                                       exit code 0, or 1 when no window came
//   log_window_probe close              posts IDCANCEL to the window; 0 when it was found
//   log_window_probe shift down|up      presses or releases Shift through SendInput
#include <windows.h>

#include <stdio.h>

namespace {

constexpr const WCHAR* kTitles[] = {L"vexaWriter build 2609- Install error log!",
                                    L"vexaWriter build 2609- Install log."};
constexpr int kLogText = 1001;

HWND FindLogWindow() {
  for (const WCHAR* title : kTitles) {
    HWND window = FindWindowW(L"#32770", title);
    if (window != nullptr) return window;
  }
  return nullptr;
}

bool WriteUtf8(const WCHAR* directory, const WCHAR* name, const WCHAR* text) {
  WCHAR path[MAX_PATH];
  lstrcpynW(path, directory, MAX_PATH - 32);
  lstrcatW(path, L"\\");
  lstrcatW(path, name);
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  char* utf8 = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, bytes > 0 ? bytes : 1));
  if (utf8 == nullptr) return false;
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, bytes, nullptr, nullptr);
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  bool ok = file != INVALID_HANDLE_VALUE &&
            WriteFile(file, utf8, bytes > 0 ? bytes - 1 : 0, &written, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  HeapFree(GetProcessHeap(), 0, utf8);
  return ok;
}

// The text of a control in another process: asked with WM_GETTEXT, since GetWindowTextW
// would only give the text the control was created with.
WCHAR* ControlText(HWND control) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  auto* text = static_cast<WCHAR*>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (length + 1) * sizeof(WCHAR)));
  DWORD_PTR copied = 0;
  if (text != nullptr) {
    SendMessageTimeoutW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, &copied);
  }
  return text;
}

int Wait(const WCHAR* directory, int seconds) {
  HWND dialog = nullptr;
  for (int poll = 0; poll < seconds * 10 && dialog == nullptr; ++poll) {
    dialog = FindLogWindow();
    if (dialog == nullptr) Sleep(100);
  }
  if (dialog == nullptr) {
    fprintf(stderr, "no log window within %d s\n", seconds);
    return 1;
  }
  WCHAR title[128] = {};
  GetWindowTextW(dialog, title, 128);
  HWND edit = GetDlgItem(dialog, kLogText);
  HWND button = GetDlgItem(dialog, IDOK);
  WCHAR* text = ControlText(edit);
  WCHAR* buttonText = ControlText(button);
  LONG editStyle = GetWindowLongW(edit, GWL_STYLE);
  LONG dialogStyle = GetWindowLongW(dialog, GWL_STYLE);
  WCHAR layout[512];
  wsprintfW(layout,
            L"button=%s\nbutton_default=%d\nedit_multiline=%d\nedit_readonly=%d\n"
            L"edit_vscroll=%d\ndialog_caption=%d\ndialog_sysmenu=%d\n",
            buttonText != nullptr ? buttonText : L"",
            (GetWindowLongW(button, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON,
            (editStyle & ES_MULTILINE) != 0, (editStyle & ES_READONLY) != 0,
            (editStyle & WS_VSCROLL) != 0, (dialogStyle & WS_CAPTION) == WS_CAPTION,
            (dialogStyle & WS_SYSMENU) != 0);
  bool ok = WriteUtf8(directory, L"title.txt", title) &&
            WriteUtf8(directory, L"text.txt", text != nullptr ? text : L"") &&
            WriteUtf8(directory, L"layout.txt", layout);
  if (text != nullptr) HeapFree(GetProcessHeap(), 0, text);
  if (buttonText != nullptr) HeapFree(GetProcessHeap(), 0, buttonText);
  return ok ? 0 : 2;
}

int Close() {
  HWND dialog = FindLogWindow();
  if (dialog == nullptr) return 1;
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  return 0;
}

int Shift(bool down) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = VK_SHIFT;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  return SendInput(1, &input, sizeof(input)) == 1 ? 0 : 1;
}

}  // namespace

int wmain(int argc, WCHAR** argv) {
  if (argc == 4 && lstrcmpW(argv[1], L"wait") == 0) return Wait(argv[2], _wtoi(argv[3]));
  if (argc == 2 && lstrcmpW(argv[1], L"close") == 0) return Close();
  if (argc == 3 && lstrcmpW(argv[1], L"shift") == 0) return Shift(lstrcmpW(argv[2], L"down") == 0);
  fprintf(stderr, "usage: log_window_probe wait DIR SECONDS | close | shift down|up\n");
  return 2;
}
