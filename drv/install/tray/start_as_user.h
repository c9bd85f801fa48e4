// Starting a program as another user: with the token's account, in the token's session, on
// that session's interactive desktop ("winsta0\default") and with the user's own environment.
// The system account hands the token over itself (CreateProcessAsUserW); an administrator, who
// lacks the right to do that, goes through the secondary logon (CreateProcessWithTokenW).
#pragma once

#include <windows.h>

#include "../foundation/handles.h"
#include "session_services.h"

// commandLine may be written into. The new process's handle goes to *process when it is given;
// false when the program did not start (the last error says why).
bool StartAsUser(const SessionServices& services, HANDLE token, bool asSystem, WCHAR* commandLine,
                 UniqueKernelHandle* process);
