#include "session_services.h"

#include "../foundation/system_library.h"

namespace {

template <typename Function>
bool Find(HMODULE library, const char* name, Function* function) {
  FARPROC address = GetProcAddress(library, name);
  *function = reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(address));
  return address != nullptr;
}

}  // namespace

bool SessionServices::Load() {
  wtsapi_.reset(LoadSystemLibrary(L"wtsapi32.dll"));
  if (!wtsapi_.valid()) return false;
  userenv_.reset(LoadSystemLibrary(L"userenv.dll"));
  if (!userenv_.valid()) return false;
  advapi_.reset(LoadSystemLibrary(L"advapi32.dll"));
  if (!advapi_.valid()) return false;
  return Find(wtsapi_.get(), "WTSEnumerateSessionsW", &enumerateSessions) &&
         Find(wtsapi_.get(), "WTSFreeMemory", &freeMemory) &&
         Find(wtsapi_.get(), "WTSQueryUserToken", &queryUserToken) &&
         Find(userenv_.get(), "CreateEnvironmentBlock", &createEnvironmentBlock) &&
         Find(userenv_.get(), "DestroyEnvironmentBlock", &destroyEnvironmentBlock) &&
         Find(advapi_.get(), "CreateProcessWithTokenW", &createProcessWithToken);
}
