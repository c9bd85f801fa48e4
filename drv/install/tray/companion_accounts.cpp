#include "companion_accounts.h"

namespace {

// TOKEN_USER with room for the largest SID; TOKEN_MANDATORY_LABEL fits as well.
union TokenAccount {
  TOKEN_USER user;
  TOKEN_MANDATORY_LABEL label;
  BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

bool ReadUser(HANDLE token, TokenAccount* account) {
  DWORD size = 0;
  return GetTokenInformation(token, TokenUser, account, sizeof(*account), &size) != FALSE;
}

// The mandatory integrity level's RID; 0 when it cannot be read.
DWORD IntegrityOf(HANDLE token) {
  TokenAccount label;
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenIntegrityLevel, &label, sizeof(label), &size)) return 0;
  PSID sid = label.label.Label.Sid;
  UCHAR count = *GetSidSubAuthorityCount(sid);
  return count == 0 ? 0 : *GetSidSubAuthority(sid, count - 1);
}

bool IsSystemAccount(HANDLE token, bool* system) {
  TokenAccount account;
  if (!ReadUser(token, &account)) return false;
  *system = IsWellKnownSid(account.user.User.Sid, WinLocalSystemSid) != FALSE;
  return true;
}

}  // namespace

CompanionAccount CompanionAccountOfRun() {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    return CompanionAccount::Unknown;
  }
  bool system = false;
  if (!IsSystemAccount(token.get(), &system)) return CompanionAccount::Unknown;
  if (system) return CompanionAccount::SessionUsers;
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenElevationType, &type, sizeof(type), &size)) {
    return CompanionAccount::Unknown;
  }
  if (type != TokenElevationTypeFull) return CompanionAccount::OwnToken;
  TOKEN_LINKED_TOKEN linked = {};
  if (!GetTokenInformation(token.get(), TokenLinkedToken, &linked, sizeof(linked), &size)) {
    return CompanionAccount::Unknown;
  }
  UniqueKernelHandle unelevated(linked.LinkedToken);
  DWORD own = IntegrityOf(token.get());
  DWORD lower = IntegrityOf(unelevated.get());
  if (own == 0 || lower == 0) return CompanionAccount::Unknown;
  // A linked token at the run's own level drops nothing: the run's token is the user's.
  return lower < own ? CompanionAccount::ShellUser : CompanionAccount::OwnToken;
}

bool IsPlainUserToken(HANDLE token) {
  bool system = true;
  if (!IsSystemAccount(token, &system) || system) return false;
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeFull;
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenElevationType, &type, sizeof(type), &size)) return false;
  if (type == TokenElevationTypeFull) return false;
  // A user's own token is at medium integrity, or at high for an administrator without a split
  // token (UAC off), whose logon starts the companion with that token all the same; the system
  // level is no user's.
  DWORD integrity = IntegrityOf(token);
  return integrity != 0 && integrity <= SECURITY_MANDATORY_HIGH_RID;
}

bool SameAccount(HANDLE first, HANDLE second) {
  TokenAccount one;
  TokenAccount other;
  return ReadUser(first, &one) && ReadUser(second, &other) &&
         EqualSid(one.user.User.Sid, other.user.User.Sid);
}

UniqueKernelHandle ShellUserToken() {
  HWND shell = GetShellWindow();
  DWORD processId = 0;
  if (shell == nullptr || GetWindowThreadProcessId(shell, &processId) == 0 || processId == 0) {
    return UniqueKernelHandle();
  }
  UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  UniqueKernelHandle token;
  if (!process.valid() ||
      !OpenProcessToken(process.get(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY,
                        token.put()) ||
      !IsPlainUserToken(token.get())) {
    return UniqueKernelHandle();
  }
  return token;
}

void UserSessions(const SessionServices& services, bool activeOnly, SessionList* sessions) {
  PWTS_SESSION_INFOW list = nullptr;
  DWORD count = 0;
  if (!services.enumerateSessions(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &count)) return;
  for (DWORD i = 0; i < count; ++i) {
    const WTS_SESSION_INFOW& session = list[i];
    bool wanted = session.State == WTSActive || (!activeOnly && session.State == WTSDisconnected);
    if (wanted && session.SessionId != 0) sessions->Add(session.SessionId);
  }
  services.freeMemory(list);
}

UniqueKernelHandle SessionUserToken(const SessionServices& services, DWORD session) {
  UniqueKernelHandle token;
  if (!services.queryUserToken(session, token.put()) || !IsPlainUserToken(token.get())) {
    return UniqueKernelHandle();
  }
  return token;
}
