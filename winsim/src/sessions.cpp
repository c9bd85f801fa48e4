// Sessions and the calls that reach across them: the session list and a session user's token,
// environment blocks, other processes and their tokens, starting a program with a token, and
// each session's shell window.
#include <userenv.h>
#include <windows.h>
#include <wtsapi32.h>

#include <string.h>

#include "winsim/processes.h"

using winsim::Machine;
using winsim::Processes;
using winsim::Token;

namespace winsim {

BOOL StartProcess(const Token& as, LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                  DWORD dwCreationFlags, LPVOID lpEnvironment, LPSTARTUPINFOW lpStartupInfo,
                  LPPROCESS_INFORMATION lpProcessInformation);

namespace {

constexpr DWORD kShellProcessBase = 0x7000;
constexpr uintptr_t kShellWindowBase = 0x5E000;

HWND ShellWindowOf(DWORD session) {
  return reinterpret_cast<HWND>(kShellWindowBase + session);
}

std::shared_ptr<Token> TokenOfHandle(HANDLE handle) {
  return Machine::Current().LookupHandle<Token>(handle, HandleKind::Other);
}

// The user a session's logon gives: an administrator under UAC gets the unelevated half.
Token SessionUser(const Token& user, DWORD session) {
  Token given = user.elevation == TokenElevationTypeFull ? user.Unelevated() : user;
  given.session = session;
  return given;
}

}  // namespace

Processes::Processes() {
  sessions.push_back({0, WTSDisconnected, nullptr, 0});
  LogOn(kProgramSession, WTSActive, Token::ElevatedAdministrator().Unelevated());
}

void Processes::LogOn(DWORD id, WTS_CONNECTSTATE_CLASS state, const Token& user) {
  Session* session = nullptr;
  for (Session& each : sessions) {
    if (each.id == id) session = &each;
  }
  if (session == nullptr) session = &sessions.emplace_back(Session{id, state, nullptr, 0});
  session->state = state;
  session->user = std::make_shared<Token>(SessionUser(user, id));
  // The shell: a process of the user's, started by the logon, that runs no code of ours.
  session->shellProcessId = kShellProcessBase + 8 * id;
  Process& shell = processes_[session->shellProcessId];
  shell.imagePath = u"C:\\Windows\\explorer.exe";
  shell.token = *session->user;
  shell.running = true;
}

const Processes::Session* Processes::FindSession(DWORD id) const {
  for (const Session& session : sessions) {
    if (session.id == id) return &session;
  }
  return nullptr;
}

BOOL WINAPI WTSEnumerateSessionsW(HANDLE, DWORD Reserved, DWORD Version,
                                  PWTS_SESSION_INFOW* ppSessionInfo, DWORD* pCount) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (Reserved != 0 || Version != 1 || ppSessionInfo == nullptr || pCount == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Machine& machine = Machine::Current();
  const std::vector<Processes::Session>& sessions = machine.processes().sessions;
  static const char16_t kStationName[] = u"WinSta";
  auto* list = static_cast<WTS_SESSION_INFOW*>(
      machine.AllocateBlock(true, sizeof(WTS_SESSION_INFOW) * (sessions.size() + 1), true));
  for (size_t i = 0; i < sessions.size(); ++i) {
    list[i].SessionId = sessions[i].id;
    list[i].pWinStationName = const_cast<LPWSTR>(Ptr(kStationName));
    list[i].State = sessions[i].state;
  }
  *ppSessionInfo = list;
  *pCount = static_cast<DWORD>(sessions.size());
  PoisonLastError();
  return TRUE;
}

void WINAPI WTSFreeMemory(PVOID pMemory) {
  EnterCall(__func__);
  Machine::Current().FreeBlock(true, pMemory);
}

BOOL WINAPI WTSQueryUserToken(ULONG SessionId, PHANDLE phToken) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  Machine& machine = Machine::Current();
  if (machine.processes().token.user != kSystemSid) {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
  }
  const Processes::Session* session = machine.processes().FindSession(SessionId);
  if (session == nullptr || session->user == nullptr) {
    SetLastError(ERROR_NO_TOKEN);
    return FALSE;
  }
  *phToken = machine.AddHandle(HandleKind::Other, std::make_shared<Token>(*session->user));
  PoisonLastError();
  return TRUE;
}

BOOL WINAPI CreateEnvironmentBlock(LPVOID* lpEnvironment, HANDLE hToken, BOOL) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (lpEnvironment == nullptr || (hToken != nullptr && TokenOfHandle(hToken) == nullptr)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // An empty block: its two terminating units.
  *lpEnvironment = Machine::Current().AllocateBlock(true, 2 * sizeof(WCHAR), true);
  PoisonLastError();
  return TRUE;
}

BOOL WINAPI DestroyEnvironmentBlock(LPVOID lpEnvironment) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (!Machine::Current().FreeBlock(true, lpEnvironment)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  PoisonLastError();
  return TRUE;
}

BOOL WINAPI CreateProcessWithTokenW(HANDLE hToken, DWORD, LPCWSTR lpApplicationName,
                                    LPWSTR lpCommandLine, DWORD dwCreationFlags,
                                    LPVOID lpEnvironment, LPCWSTR, LPSTARTUPINFOW lpStartupInfo,
                                    LPPROCESS_INFORMATION lpProcessInformation) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  const Token& caller = Machine::Current().processes().token;
  std::shared_ptr<Token> token = TokenOfHandle(hToken);
  if (token == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The impersonation right: the system account and administrators who are not limited.
  if (caller.user != kSystemSid &&
      (!caller.Holds(kAdministratorsSid) || caller.elevation == TokenElevationTypeLimited)) {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
  }
  return StartProcess(*token, lpApplicationName, lpCommandLine, dwCreationFlags, lpEnvironment,
                      lpStartupInfo, lpProcessInformation);
}

}  // namespace winsim

DWORD WINAPI GetCurrentProcessId(void) {
  winsim::EnterCall(__func__);
  return Machine::Current().processes().currentProcessId;
}

BOOL WINAPI CreateProcessAsUserW(HANDLE hToken, LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                                 LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                                 DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR,
                                 LPSTARTUPINFOW lpStartupInfo,
                                 LPPROCESS_INFORMATION lpProcessInformation) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  std::shared_ptr<Token> token = winsim::TokenOfHandle(hToken);
  if (token == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Handing a token that is not the caller's own to a process takes the system's right.
  if (Machine::Current().processes().token.user != winsim::kSystemSid) {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
  }
  return winsim::StartProcess(*token, lpApplicationName, lpCommandLine, dwCreationFlags,
                              lpEnvironment, lpStartupInfo, lpProcessInformation);
}

HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD dwProcessId) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  Machine& machine = Machine::Current();
  const Token* target = machine.processes().TokenOf(dwProcessId);
  DWORD exitCode = 0;
  uint64_t endedAt = 0;
  if (target == nullptr || machine.processes().Ended(dwProcessId, &exitCode, &endedAt)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Limited information: the process's own account, and administrators not limited.
  const Token& caller = machine.processes().token;
  if (caller.user != target->user && caller.user != winsim::kSystemSid &&
      (!caller.Holds(winsim::kAdministratorsSid) || caller.integrity < target->integrity)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto object = std::make_shared<Processes::ProcessObject>(Processes::ProcessObject{dwProcessId});
  HANDLE handle = machine.AddHandle(winsim::HandleKind::Process, object);
  winsim::PoisonLastError();
  return handle;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  Machine& machine = Machine::Current();
  auto process =
      machine.LookupHandle<Processes::ProcessObject>(hProcess, winsim::HandleKind::Process);
  if (process == nullptr || lpExitCode == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD exitCode = 0;
  uint64_t endedAt = 0;
  bool ended = machine.processes().Ended(process->processId, &exitCode, &endedAt) &&
               endedAt <= machine.ElapsedMilliseconds();
  *lpExitCode = ended ? exitCode : STILL_ACTIVE;
  winsim::PoisonLastError();
  return TRUE;
}

HWND WINAPI GetShellWindow(void) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  const Processes& processes = Machine::Current().processes();
  const Processes::Session* session = processes.FindSession(processes.token.session);
  if (session == nullptr || session->shellProcessId == 0) return nullptr;
  return winsim::ShellWindowOf(session->id);
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  WINSIM_ENTER_OR_FAIL(0);
  uintptr_t value = reinterpret_cast<uintptr_t>(hWnd);
  const Processes::Session* session =
      value >= winsim::kShellWindowBase ? Machine::Current().processes().FindSession(
                                              static_cast<DWORD>(value - winsim::kShellWindowBase))
                                        : nullptr;
  if (session == nullptr || session->shellProcessId == 0) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (lpdwProcessId != nullptr) *lpdwProcessId = session->shellProcessId;
  winsim::PoisonLastError();
  return session->shellProcessId + 4;
}
