#include "../foundation/handles.h"
#include "../foundation/install_state.h"
#include "../foundation/wstring.h"
#include "companion_accounts.h"
#include "start_as_user.h"
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
  // Quoted: a bare path with blanks would let the logon start "C:\Program.exe" or the like.
  WString quoted;
  quoted.Append(L"\"");
  quoted.Append(trayPath.Text());
  quoted.Append(L"\"");
  DWORD bytes = static_cast<DWORD>((quoted.Length() + 1) * sizeof(WCHAR));
  RegSetValueExW(run.get(), kTrayRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(quoted.Text()),
                 bytes);
}

// Quoted, so that a path with blanks names one program; the start may write into it.
void CommandLine(const WString& trayPath, WCHAR (&commandLine)[kCommandPathUnits + 3]) {
  commandLine[0] = L'"';
  lstrcpynW(commandLine + 1, trayPath.Text(), kCommandPathUnits + 1);
  lstrcatW(commandLine, L"\"");
}

// The run's own token is the user's own (not split): started as it always was.
void Launch(const WString& trayPath) {
  WCHAR commandLine[kCommandPathUnits + 3];
  CommandLine(trayPath, commandLine);
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

void LaunchAs(const SessionServices& services, HANDLE token, bool asSystem,
              const WString& trayPath) {
  if (token == nullptr) return;  // no plain user's token to be had: the logon starts it
  WCHAR commandLine[kCommandPathUnits + 3];
  CommandLine(trayPath, commandLine);
  StartAsUser(services, token, asSystem, commandLine, nullptr);
}

// Every active session, and each session where the removal stopped it, disconnected or not.
void LaunchInUserSessions(const SessionServices& services, const SessionList& stopped,
                          const WString& trayPath) {
  SessionList sessions;
  UserSessions(services, true, &sessions);
  for (int i = 0; i < stopped.count; ++i) sessions.Add(stopped.ids[i]);
  for (int i = 0; i < sessions.count; ++i) {
    UniqueKernelHandle token = SessionUserToken(services, sessions.ids[i]);
    LaunchAs(services, token.get(), true, trayPath);
  }
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
  CompanionAccount account = CompanionAccountOfRun();
  if (account == CompanionAccount::OwnToken) {
    Launch(trayPath);
    return;
  }
  SessionServices services;
  if (account == CompanionAccount::Unknown || !services.Load()) return;
  if (account == CompanionAccount::SessionUsers) {
    LaunchInUserSessions(services, state.stoppedCompanions, trayPath);
  } else {
    UniqueKernelHandle user = ShellUserToken();
    LaunchAs(services, user.get(), false, trayPath);
  }
}
