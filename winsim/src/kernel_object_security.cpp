// SIDs, tokens, object security and the advapi32 calls that make and read them. Descriptors
// are laid out self-relative as the platform lays them out: the 20-byte header, the owner SID,
// then the DACL with its allow and deny entries.
#include "winsim/security.h"

#include <string.h>

#include <algorithm>

#include "winsim/machine.h"
#include "winsim/mutexes.h"
#include "winsim/processes.h"
#include "winsim/text.h"

using winsim::Machine;

namespace winsim {

namespace {

constexpr WORD kSelfRelative = 0x8000;
constexpr WORD kDaclPresent = 0x0004;
constexpr WORD kDaclProtected = 0x1000;
constexpr BYTE kAllowAce = 0;
constexpr BYTE kDenyAce = 1;
constexpr DWORD kGenericAll = 0x10000000;

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

namespace {

void PutWord(std::vector<BYTE>& bytes, size_t at, WORD value) {
  memcpy(bytes.data() + at, &value, sizeof(value));
}
void PutDword(std::vector<BYTE>& bytes, size_t at, DWORD value) {
  memcpy(bytes.data() + at, &value, sizeof(value));
}
WORD GetWord(const BYTE* at) {
  WORD value;
  memcpy(&value, at, sizeof(value));
  return value;
}
DWORD GetDword(const BYTE* at) {
  DWORD value;
  memcpy(&value, at, sizeof(value));
  return value;
}

}  // namespace

// A self-relative descriptor of the security, in a LocalAlloc block.
PSECURITY_DESCRIPTOR NewDescriptor(const ObjectSecurity& security, DWORD* size) {
  std::vector<BYTE> bytes(20, 0);
  bytes[0] = 1;  // revision
  WORD control = kSelfRelative;
  if (!security.owner.empty()) {
    PutDword(bytes, 4, static_cast<DWORD>(bytes.size()));
    std::vector<BYTE> owner = SidBytes(security.owner);
    bytes.insert(bytes.end(), owner.begin(), owner.end());
  }
  if (security.hasDacl) {
    control |= kDaclPresent | kDaclProtected;
    size_t acl = bytes.size();
    PutDword(bytes, 16, static_cast<DWORD>(acl));
    bytes.resize(acl + 8, 0);
    bytes[acl] = 2;  // ACL revision
    WORD count = 0;
    for (BYTE type : {kDenyAce, kAllowAce}) {  // deny entries first, as the text form orders
      for (const std::string& sid : type == kDenyAce ? security.denied : security.allowed) {
        std::vector<BYTE> sidBytes = SidBytes(sid);
        size_t ace = bytes.size();
        bytes.resize(ace + 8, 0);
        bytes[ace] = type;
        PutWord(bytes, ace + 2, static_cast<WORD>(8 + sidBytes.size()));
        PutDword(bytes, ace + 4, kGenericAll);
        bytes.insert(bytes.end(), sidBytes.begin(), sidBytes.end());
        ++count;
      }
    }
    PutWord(bytes, acl + 2, static_cast<WORD>(bytes.size() - acl));
    PutWord(bytes, acl + 4, count);
  }
  PutWord(bytes, 2, control);
  void* block = LocalAlloc(LMEM_FIXED, bytes.size());
  if (block == nullptr) return nullptr;
  memcpy(block, bytes.data(), bytes.size());
  if (size != nullptr) *size = static_cast<DWORD>(bytes.size());
  return block;
}

bool Token::Holds(const std::string& sid) const {
  return sid == user || std::find(groups.begin(), groups.end(), sid) != groups.end();
}

Token Token::ElevatedAdministrator() {
  return {"S-1-5-21-1004336348-1177238915-682003330-500",
          {kAdministratorsSid, kEveryoneSid, kAuthenticatedUsersSid, kUsersSid},
          kAdministratorsSid};
}

Token Token::StandardUser() {
  return {kStandardUserSid, {kEveryoneSid, kAuthenticatedUsersSid, kUsersSid}, kStandardUserSid};
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
  const BYTE* bytes = static_cast<const BYTE*>(descriptor);
  if (bytes[0] != 1 || (GetWord(bytes + 2) & kSelfRelative) == 0) return false;
  ObjectSecurity read;
  if (DWORD owner = GetDword(bytes + 4)) read.owner = SidText(bytes + owner);
  if ((GetWord(bytes + 2) & kDaclPresent) != 0) {
    read.hasDacl = true;
    const BYTE* acl = bytes + GetDword(bytes + 16);
    const BYTE* ace = acl + 8;
    for (WORD i = 0; i < GetWord(acl + 4); ++i) {
      (ace[0] == kAllowAce ? read.allowed : read.denied).push_back(SidText(ace + 8));
      ace += GetWord(ace + 2);
    }
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
  winsim::ObjectSecurity owner;
  owner.owner = mutex->security.owner;
  PSECURITY_DESCRIPTOR descriptor = winsim::NewDescriptor(owner, nullptr);
  if (descriptor == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  *ppSecurityDescriptor = descriptor;
  if (ppsidOwner != nullptr) {
    DWORD at = 0;
    memcpy(&at, static_cast<BYTE*>(descriptor) + 4, sizeof(at));
    *ppsidOwner = at != 0 ? static_cast<BYTE*>(descriptor) + at : nullptr;
  }
  return ERROR_SUCCESS;
}

}  // namespace winsim
