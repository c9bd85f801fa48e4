// Tokens and the security of kernel objects (mutexes, private namespaces), read from and handed
// out as the descriptors the file security in security.cpp lays out.
#include "winsim/security.h"

#include "security_internal.h"

#include <string.h>

#include <algorithm>

#include "winsim/machine.h"
#include "winsim/mutexes.h"
#include "winsim/processes.h"
#include "winsim/text.h"

using winsim::Machine;

namespace winsim {

namespace {

struct WellKnown {
  WELL_KNOWN_SID_TYPE type;
  const char* sid;
};
const WellKnown kWellKnown[] = {{WinWorldSid, kEveryoneSid},
                                {WinAuthenticatedUserSid, kAuthenticatedUsersSid},
                                {WinLocalSystemSid, kSystemSid},
                                {WinBuiltinAdministratorsSid, kAdministratorsSid},
                                {WinBuiltinUsersSid, kUsersSid}};

}  // namespace

const char* WellKnownText(WELL_KNOWN_SID_TYPE type) {
  for (const WellKnown& known : kWellKnown) {
    if (known.type == type) return known.sid;
  }
  return nullptr;
}

bool Token::Holds(const std::string& sid) const {
  return sid == user || std::find(groups.begin(), groups.end(), sid) != groups.end();
}

Token Token::ElevatedAdministrator() {
  return {"S-1-5-21-1004336348-1177238915-682003330-500",
          {kAdministratorsSid, kEveryoneSid, kAuthenticatedUsersSid, kUsersSid},
          kAdministratorsSid};
}

Token Token::SystemAccount() {
  Token token{kSystemSid, {kAdministratorsSid, kEveryoneSid, kAuthenticatedUsersSid}, kSystemSid};
  token.session = 0;
  token.integrity = SECURITY_MANDATORY_SYSTEM_RID;
  return token;
}

Token Token::StandardUser() {
  Token token{
      kStandardUserSid, {kEveryoneSid, kAuthenticatedUsersSid, kUsersSid}, kStandardUserSid};
  token.integrity = SECURITY_MANDATORY_MEDIUM_RID;
  return token;
}

Token Token::SplitAdministrator(const std::string& user) {
  Token full = ElevatedAdministrator();
  full.user = user;
  full.elevation = TokenElevationTypeFull;
  full.linked = std::make_shared<Token>(full.Unelevated());
  return full;
}

Token Token::Unelevated() const {
  Token limited = *this;
  limited.groups.erase(
      std::remove(limited.groups.begin(), limited.groups.end(), kAdministratorsSid),
      limited.groups.end());
  limited.defaultOwner = user;
  limited.integrity = SECURITY_MANDATORY_MEDIUM_RID;
  limited.elevation = TokenElevationTypeLimited;
  limited.linked = nullptr;
  return limited;
}

bool ObjectSecurity::Grants(const Token& token) const {
  if (!hasDacl) return true;
  for (const std::string& sid : denied) {
    if (token.Holds(sid)) return false;
  }
  for (const std::string& sid : allowed) {
    if (token.Holds(sid)) return true;
  }
  return false;
}

ObjectSecurity ObjectSecurity::MadeBy(const Token& token) {
  ObjectSecurity security;
  security.owner = token.defaultOwner;
  return security;
}

bool DescriptorSecurity(const void* descriptor, ObjectSecurity* security) {
  if (descriptor == nullptr || !Machine::Current().OwnsBlock(true, descriptor)) return false;
  ObjectSecurity read;
  std::vector<AccessEntry> access;
  bool isProtected = false;
  if (!ReadDescriptor(descriptor, &read.owner, &access, &isProtected)) return false;
  SECURITY_DESCRIPTOR_RELATIVE header;
  memcpy(&header, descriptor, sizeof(header));
  read.hasDacl = (header.Control & SE_DACL_PRESENT) != 0;
  for (const AccessEntry& entry : access) {
    (entry.type == ACCESS_ALLOWED_ACE_TYPE ? read.allowed : read.denied).push_back(entry.sid);
  }
  *security = read;
  return true;
}

}  // namespace winsim

BOOL WINAPI CreateWellKnownSid(WELL_KNOWN_SID_TYPE WellKnownSidType, PSID DomainSid, PSID pSid,
                               DWORD* cbSid) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  const char* text = winsim::WellKnownText(WellKnownSidType);
  if (text == nullptr || DomainSid != nullptr || cbSid == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<BYTE> bytes = winsim::SidBytes(text);
  if (pSid == nullptr || *cbSid < bytes.size()) {
    *cbSid = static_cast<DWORD>(bytes.size());
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  memcpy(pSid, bytes.data(), bytes.size());
  *cbSid = static_cast<DWORD>(bytes.size());
  winsim::PoisonLastError();
  return TRUE;
}

namespace winsim {

DWORD KernelObjectSecurityInfo(HANDLE handle, SE_OBJECT_TYPE ObjectType,
                               SECURITY_INFORMATION SecurityInfo, PSID* ppsidOwner,
                               PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                               PSECURITY_DESCRIPTOR* ppSecurityDescriptor) {
  auto mutex =
      Machine::Current().LookupHandle<winsim::Mutexes::Mutex>(handle, winsim::HandleKind::Mutex);
  // Only the owner is simulated, and only of mutexes.
  if (ObjectType != SE_KERNEL_OBJECT || SecurityInfo != OWNER_SECURITY_INFORMATION ||
      ppsidGroup != nullptr || ppDacl != nullptr || ppSacl != nullptr ||
      ppSecurityDescriptor == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  if (!mutex) return ERROR_INVALID_HANDLE;
  PSECURITY_DESCRIPTOR descriptor = MakeDescriptor(&mutex->security.owner, nullptr, false);
  *ppSecurityDescriptor = descriptor;
  if (ppsidOwner != nullptr) {
    DWORD at = 0;
    memcpy(&at, static_cast<BYTE*>(descriptor) + 4, sizeof(at));
    *ppsidOwner = at != 0 ? static_cast<BYTE*>(descriptor) + at : nullptr;
  }
  return ERROR_SUCCESS;
}

}  // namespace winsim
