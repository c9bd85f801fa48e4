// The host build's <wtsapi32.h>: the session list and a session user's token. The installer
// finds these functions at run time (GetProcAddress); the types are the platform's.
#pragma once

#include <windows.h>

typedef enum _WTS_CONNECTSTATE_CLASS {
  WTSActive,
  WTSConnected,
  WTSConnectQuery,
  WTSShadow,
  WTSDisconnected,
  WTSIdle,
  WTSListen,
  WTSReset,
  WTSDown,
  WTSInit,
} WTS_CONNECTSTATE_CLASS;

typedef struct _WTS_SESSION_INFOW {
  DWORD SessionId;
  LPWSTR pWinStationName;
  WTS_CONNECTSTATE_CLASS State;
} WTS_SESSION_INFOW, *PWTS_SESSION_INFOW;

#define WTS_CURRENT_SERVER_HANDLE ((HANDLE) nullptr)

namespace winsim {
BOOL WINAPI WTSEnumerateSessionsW(HANDLE hServer, DWORD Reserved, DWORD Version,
                                  PWTS_SESSION_INFOW* ppSessionInfo, DWORD* pCount);
void WINAPI WTSFreeMemory(PVOID pMemory);
// The system account only (ERROR_PRIVILEGE_NOT_HELD); ERROR_NO_TOKEN for a session without a
// user.
BOOL WINAPI WTSQueryUserToken(ULONG SessionId, PHANDLE phToken);
}  // namespace winsim
