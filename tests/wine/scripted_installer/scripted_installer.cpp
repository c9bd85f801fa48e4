// Stand-in for the installer in checks of the setup program.
//
//   scripted_installer MODE     appends "MODE" and its current directory to C:\scripted.log,
//                               then exits with the decimal code in the environment variable
//                               SCRIPTED_<MODE> (for example SCRIPTED_install=101), 0 without it
//
// The setup starts it with a mode keyword, as it starts the real installer.
#include <windows.h>
#include <shellapi.h>

namespace {

void AppendLine(const WCHAR* text) {
  HANDLE file = CreateFileW(L"C:\\scripted.log", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char line[1024];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, line, sizeof(line) - 2, nullptr, nullptr);
  if (bytes > 0) {
    line[bytes - 1] = '\n';
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(bytes), &written, nullptr);
  }
  CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return 0;
  WCHAR line[512] = L"";
  WCHAR name[64] = L"SCRIPTED_";
  if (count > 1 && lstrlenW(arguments[1]) < 40) {
    lstrcpynW(line, arguments[1], 64);
    lstrcatW(name, arguments[1]);
  }
  LocalFree(arguments);
  lstrcatW(line, L" ");
  GetCurrentDirectoryW(400, line + lstrlenW(line));
  AppendLine(line);

  WCHAR value[16] = L"";
  if (GetEnvironmentVariableW(name, value, 16) == 0) return 0;
  int code = 0;
  for (const WCHAR* digit = value; *digit >= L'0' && *digit <= L'9'; ++digit) {
    code = code * 10 + (*digit - L'0');
  }
  return code;
}
