// Whom the tray companion runs as. It belongs to the interactive user: it runs only with a
// user's own token, never as the system account and never with an elevated token, in that
// user's session. The account the installer runs as decides where that token comes from.
#pragma once

#include <windows.h>

#include "../foundation/handles.h"
#include "../foundation/session_list.h"
#include "session_services.h"

enum class CompanionAccount {
  // A token that is not split (UAC off, or a linked token no lower than the run's own, as Wine
  // gives): the run's own token is the user's, and the companion runs with it, as it always did.
  OwnToken,
  // The system account (fleet tools, the services session): each interactive session's user.
  SessionUsers,
  // Elevated with a split token: the unelevated user of the session, taken from its shell.
  ShellUser,
  // The run's own token cannot be read: the companion is not started.
  Unknown,
};
CompanionAccount CompanionAccountOfRun();

// True when a companion may run with the token: not the system account, not the elevated half
// of a split token, below system integrity (medium for users, high for an administrator whose
// token is not split). False also when any of it cannot be read.
bool IsPlainUserToken(HANDLE token);
// Whether two tokens belong to the same account; false when either cannot be read.
bool SameAccount(HANDLE first, HANDLE second);

// The primary token of the process that owns the session's shell window, when it is a plain
// user's; empty otherwise.
UniqueKernelHandle ShellUserToken();

// The sessions with a logged-on user: every one, or only the active ones (console and remote,
// not disconnected). Session 0 has none.
void UserSessions(const SessionServices& services, bool activeOnly, SessionList* sessions);
// The token of a session's user, when it is a plain user's; empty otherwise.
UniqueKernelHandle SessionUserToken(const SessionServices& services, DWORD session);
