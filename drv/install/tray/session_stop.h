// Stopping the companion in every session where it runs. Its mutex and window exist per
// session, and the account running the installer may see neither (the system account in the
// services session; an administrator elevated on another user's desktop, whose mutex does not
// let the administrator in). So the installer starts itself, with each session's user token,
// in an internal mode that runs only the companion's stop there and answers through its exit
// code. The sessions are stopped at the same time: the whole stop waits at most
// kCompanionQuitBoundMs, however many sessions there are; a companion that has not quit by
// then is left running.
//
// The internal mode is no documented keyword, and it acts only for the installer that started
// it: the parent makes a mutex under a one-time name in the global namespace, owned by
// Administrators (only the system account and elevated administrators can make such an owner)
// and open to the users for waiting and reading its owner, and passes the name's variable part
// on the command line. A child that cannot open that mutex, or finds it owned by anyone else,
// does nothing and answers as to an unknown keyword.
#pragma once

#include <windows.h>

#include "../foundation/session_list.h"

// The keyword of the internal mode.
constexpr const WCHAR* kSessionStopKeyword = L"vxs-session-stop";

// Stops the companion in this process's session and in every other session where it may run.
// True when at least one stop could open the companion's mutex (its file may then be deleted).
// Each session whose companion quit is added to *stopped.
bool StopCompanionsEverywhere(SessionList* stopped);

// The internal mode, given the argument after the keyword (null when there is none): the exit
// code of the child's answer, or 0 when it was not started by an installer run.
int RunSessionStop(const WCHAR* marker);
