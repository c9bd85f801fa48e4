#include "../foundation/handles.h"
#include "../foundation/install_state.h"
#include "../foundation/wstring.h"
#include "tray.h"
#include "tray_contract.h"

namespace {

// The command line carries at most this much of the path, between its two quotes.
constexpr int kCommandPathUnits = 259;

bool IsSeparator(WCHAR c) {
  return c == L'\\' || c == L'/';
}

WCHAR LastUnit(const WString& text) {
  return text.Length() == 0 ? 0 : text.Text()[text.Length() - 1];
}

// The companion is built for NT 6 and later; older systems get neither the value nor the start.
bool SystemRunsTheCompanion() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!GetVersionExA(&version)) return false;
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6;
}

void RegisterToRunAtLogon(const WString& trayPath) {
  UniqueRegistryKey run;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKeyPath, 0, KEY_ALL_ACCESS, run.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  DWORD bytes = static_cast<DWORD>((trayPath.Length() + 1) * sizeof(WCHAR));
  RegSetValueExW(run.get(), kTrayRunValue, 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(trayPath.Text()), bytes);
}

void Launch(const WString& trayPath) {
  // Quoted, so that a path with blanks names one program; CreateProcessW may write into it.
  WCHAR commandLine[kCommandPathUnits + 3] = {L'"'};
  lstrcpynW(commandLine + 1, trayPath.Text(), kCommandPathUnits + 1);
  lstrcatW(commandLine, L"\"");
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                      nullptr, &startup, &process)) {
    return;
  }
  // Nothing waits for the companion: its handles go at once.
  UniqueKernelHandle processHandle(process.hProcess);
  UniqueKernelHandle threadHandle(process.hThread);
}

}  // namespace

WString TrayPath(const WString& moduleDir) {
  // Without the installer's own directory there is no companion of this package to name; a
  // bare name would be looked up wherever the process happens to run.
  if (moduleDir.Length() == 0) return WString();
  WString directory = moduleDir.Copy();
  if (IsSeparator(LastUnit(directory))) directory.Resize(directory.Length() - 1);
  WString path = directory.ParentDirectory();
  // A drive root has no parent: the bare name, found beside the installer when started.
  if (path.Length() != 0 && !IsSeparator(LastUnit(path))) path.Append(L"\\");
  path.AppendNarrow(kTrayFileName);
  return path;
}

void StartTray(InstallState& state) {
  if (!state.installTray) return;
  if (!SystemRunsTheCompanion()) return;
  WString trayPath = TrayPath(state.moduleDir);
  if (trayPath.Length() == 0) return;
  RegisterToRunAtLogon(trayPath);
  Launch(trayPath);
}
