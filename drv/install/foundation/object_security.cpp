#include "object_security.h"

#include <aclapi.h>
#include <sddl.h>

ObjectSecurity::ObjectSecurity(const WCHAR* text) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return;
  }
  descriptor_.reset(descriptor);
  attributes_.nLength = sizeof(attributes_);
  attributes_.lpSecurityDescriptor = descriptor;
  attributes_.bInheritHandle = FALSE;
}

bool OwnedByAdministratorsOrSystem(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD status = GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                 nullptr, nullptr, nullptr, &descriptor);
  UniqueLocalBlock held(descriptor);
  if (status != ERROR_SUCCESS) {
    SetLastError(status);
    return false;
  }
  // An object without an owner (Wine keeps none for objects made without a descriptor) is
  // nobody's we trust.
  bool trusted = owner != nullptr && (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                                      IsWellKnownSid(owner, WinLocalSystemSid));
  // A refusal is no failure of a call: the error report that follows gives no system text.
  SetLastError(ERROR_SUCCESS);
  return trusted;
}
