// Sessions and tokens as the tray companion's start and stop meet them: the run's elevation and
// integrity, its linked token and whether that one is lower, the session list, a session
// user's token asked for by an administrator, a user's environment block, the session's shell
// window, and the stop's marker mutex opened for waiting and its owner read.
#include <aclapi.h>
#include <sddl.h>
#include <userenv.h>
#include <wtsapi32.h>

#include "probe.h"

namespace {

const WCHAR kMarker[] = L"Global\\vexaWriterProbe.TrayStop";

template <typename Function>
Function Find(const WCHAR* library, const char* name) {
  HMODULE module = LoadLibraryExW(library, nullptr, 0);
  FARPROC address = module != nullptr ? GetProcAddress(module, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(address));
}

DWORD Integrity(HANDLE token) {
  union {
    TOKEN_MANDATORY_LABEL label;
    BYTE bytes[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
  } buffer;
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenIntegrityLevel, &buffer, sizeof(buffer), &size)) return 0;
  PSID sid = buffer.label.Label.Sid;
  return *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
}

const char* ElevationName(TOKEN_ELEVATION_TYPE type) {
  return type == TokenElevationTypeDefault ? "default"
         : type == TokenElevationTypeFull  ? "full"
                                           : "limited";
}

}  // namespace

void ProbeSessions() {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  BOOL ok = GetTokenInformation(token, TokenElevationType, &type, sizeof(type), &size);
  Observe("sess.elevation", "%s", ok ? ElevationName(type) : "fail");
  Observe("sess.integrity", "0x%lx", static_cast<unsigned long>(Integrity(token)));
  TOKEN_LINKED_TOKEN linked = {};
  SetLastError(0);
  ok = GetTokenInformation(token, TokenLinkedToken, &linked, sizeof(linked), &size);
  ObserveCall("sess.linked", ok);
  Observe("sess.linked_lower", "%s",
          ok && Integrity(linked.LinkedToken) < Integrity(token) ? "yes" : "no");
  if (ok) CloseHandle(linked.LinkedToken);

  auto enumerate = Find<BOOL(WINAPI*)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW*, DWORD*)>(
      L"wtsapi32.dll", "WTSEnumerateSessionsW");
  auto freeMemory = Find<void(WINAPI*)(PVOID)>(L"wtsapi32.dll", "WTSFreeMemory");
  auto queryToken = Find<BOOL(WINAPI*)(ULONG, PHANDLE)>(L"wtsapi32.dll", "WTSQueryUserToken");
  PWTS_SESSION_INFOW sessions = nullptr;
  DWORD count = 0;
  ok = enumerate != nullptr && enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count);
  Observe("sess.enumerate", "%s count %lu", ok ? "ok" : "fail", static_cast<unsigned long>(count));
  if (ok) freeMemory(sessions);
  HANDLE user = nullptr;
  SetLastError(0);
  ok = queryToken != nullptr && queryToken(1, &user);
  ObserveCall("sess.user_token_as_admin", ok);
  if (ok) CloseHandle(user);

  auto create =
      Find<BOOL(WINAPI*)(LPVOID*, HANDLE, BOOL)>(L"userenv.dll", "CreateEnvironmentBlock");
  auto destroy = Find<BOOL(WINAPI*)(LPVOID)>(L"userenv.dll", "DestroyEnvironmentBlock");
  LPVOID environment = nullptr;
  ok = create != nullptr && create(&environment, token, FALSE);
  ObserveCall("sess.environment", ok && destroy(environment));
  Observe("sess.shell_window", "%s", GetShellWindow() != nullptr ? "yes" : "no");
  CloseHandle(token);

  SetLastError(0);
  HANDLE missing = OpenMutexW(SYNCHRONIZE | READ_CONTROL, FALSE, kMarker);
  ObserveCall("sess.marker_missing", missing != nullptr);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x120001;;;AU)", SDDL_REVISION_1, &descriptor, nullptr);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  HANDLE marker = CreateMutexW(&attributes, FALSE, kMarker);
  HANDLE opened = OpenMutexW(SYNCHRONIZE | READ_CONTROL, FALSE, kMarker);
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR read = nullptr;
  DWORD status = opened == nullptr
                     ? ERROR_INVALID_HANDLE
                     : GetSecurityInfo(opened, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                       nullptr, nullptr, nullptr, &read);
  Observe("sess.marker_open", "%s owner %s", opened != nullptr ? "ok" : "fail",
          status == ERROR_SUCCESS && owner != nullptr &&
                  IsWellKnownSid(owner, WinBuiltinAdministratorsSid)
              ? "administrators"
              : "other");
  LocalFree(read);
  LocalFree(descriptor);
  if (opened != nullptr) CloseHandle(opened);
  if (marker != nullptr) CloseHandle(marker);
}
