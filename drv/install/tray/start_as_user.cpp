#include "start_as_user.h"

namespace {

// The user's environment block, destroyed with the object.
class EnvironmentBlock {
 public:
  explicit EnvironmentBlock(const SessionServices& services) : services_(services) {}
  ~EnvironmentBlock() {
    if (block_ != nullptr) services_.destroyEnvironmentBlock(block_);
  }
  EnvironmentBlock(const EnvironmentBlock&) = delete;
  EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;
  LPVOID* put() { return &block_; }
  LPVOID get() const { return block_; }

 private:
  const SessionServices& services_;
  LPVOID block_ = nullptr;
};

}  // namespace

bool StartAsUser(const SessionServices& services, HANDLE token, bool asSystem, WCHAR* commandLine,
                 UniqueKernelHandle* process) {
  EnvironmentBlock environment(services);
  if (!services.createEnvironmentBlock(environment.put(), token, FALSE)) return false;
  WCHAR desktop[] = L"winsta0\\default";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.lpDesktop = desktop;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION started = {};
  const DWORD flags = NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT;
  BOOL ok = asSystem
                ? CreateProcessAsUserW(token, nullptr, commandLine, nullptr, nullptr, FALSE, flags,
                                       environment.get(), nullptr, &startup, &started)
                : services.createProcessWithToken(token, 0, nullptr, commandLine, flags,
                                                  environment.get(), nullptr, &startup, &started);
  if (!ok) return false;
  UniqueKernelHandle processHandle(started.hProcess);
  UniqueKernelHandle threadHandle(started.hThread);
  if (process != nullptr) *process = static_cast<UniqueKernelHandle&&>(processHandle);
  return true;
}
