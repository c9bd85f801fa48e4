// The run lock as the installer makes it where private namespaces are missing: whether kernel32
// has them, a mutex under a Global\ name made with owner Administrators and an access list for
// SYSTEM and Administrators only, its owner as read back, the same name opened again, and a
// wait on it while free.
#include <aclapi.h>
#include <sddl.h>

#include "probe.h"

namespace {

const WCHAR kLockName[] = L"Global\\vexaWriterProbe.RunLock";

const char* OwnerOf(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD status = GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                 nullptr, nullptr, nullptr, &descriptor);
  const char* who = status != ERROR_SUCCESS                              ? "unreadable"
                    : owner == nullptr                                   ? "none"
                    : IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ? "administrators"
                    : IsWellKnownSid(owner, WinLocalSystemSid)           ? "system"
                                                                         : "another";
  LocalFree(descriptor);
  return who;
}

}  // namespace

void ProbeRunLock() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  Observe("lock.namespace_calls", "%s",
          kernel != nullptr && GetProcAddress(kernel, "CreatePrivateNamespaceW") != nullptr
              ? "present"
              : "missing");
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  BOOL made = ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr);
  ObserveCall("lock.descriptor", made);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  HANDLE first = CreateMutexW(&attributes, FALSE, kLockName);
  const char* existed = GetLastError() == ERROR_ALREADY_EXISTS ? "yes" : "no";
  Observe("lock.global_new", "%s exists %s owner %s", first != nullptr ? "handle" : "none", existed,
          OwnerOf(first));
  HANDLE second = CreateMutexW(&attributes, FALSE, kLockName);
  existed = GetLastError() == ERROR_ALREADY_EXISTS ? "yes" : "no";
  Observe("lock.global_again", "%s exists %s owner %s", second != nullptr ? "handle" : "none",
          existed, OwnerOf(second));
  DWORD wait = WaitForSingleObject(second, 0);
  Observe("lock.wait_free", "%s", wait == WAIT_OBJECT_0 ? "object" : "other");
  if (wait == WAIT_OBJECT_0) ReleaseMutex(second);
  CloseHandle(second);
  CloseHandle(first);
  LocalFree(descriptor);
}
