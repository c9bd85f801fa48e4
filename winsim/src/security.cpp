// The simulated security calls: the running process's token, security identifiers, access
// lists, the descriptors of files and folders, and the text form of descriptors.
#include "security_internal.h"

#include <string.h>

#include "winsim/machine.h"
#include "winsim/processes.h"
#include "winsim/security.h"
#include "winsim/text.h"

using winsim::AccessEntry;
using winsim::Machine;
using winsim::Token;

namespace winsim {

std::vector<AccessEntry> DefaultAccess() {
  const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  return {{kSystemSid, FILE_ALL_ACCESS, inherit, ACCESS_ALLOWED_ACE_TYPE},
          {kAdministratorsSid, FILE_ALL_ACCESS, inherit, ACCESS_ALLOWED_ACE_TYPE},
          {kUsersSid, 0x1200A9, inherit, ACCESS_ALLOWED_ACE_TYPE}};
}

std::vector<BYTE> SidBytes(const std::string& text) {
  std::vector<uint64_t> numbers;
  if (text.compare(0, 2, "S-") != 0) return {};
  size_t at = 2;
  while (at <= text.size()) {
    size_t end = text.find('-', at);
    if (end == std::string::npos) end = text.size();
    if (end == at || end - at > 10) return {};
    uint64_t value = 0;
    for (size_t i = at; i < end; ++i) {
      if (text[i] < '0' || text[i] > '9') return {};
      value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    numbers.push_back(value);
    at = end + 1;
  }
  // Revision 1, the authority, and 1 to 15 sub-authorities.
  if (numbers.size() < 3 || numbers.size() > 17 || numbers[0] != 1) return {};
  std::vector<BYTE> sid(8 + 4 * (numbers.size() - 2));
  sid[0] = 1;
  sid[1] = static_cast<BYTE>(numbers.size() - 2);
  for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<BYTE>(numbers[1] >> (8 * (5 - i)));
  for (size_t i = 2; i < numbers.size(); ++i) {
    DWORD part = static_cast<DWORD>(numbers[i]);
    memcpy(&sid[8 + 4 * (i - 2)], &part, 4);
  }
  return sid;
}

std::string SidText(const void* sid) {
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  uint64_t authority = 0;
  for (int i = 0; i < 6; ++i) authority = authority << 8 | bytes[2 + i];
  std::string text = "S-" + std::to_string(bytes[0]) + "-" + std::to_string(authority);
  for (BYTE i = 0; i < bytes[1]; ++i) {
    DWORD part;
    memcpy(&part, bytes + 8 + 4 * i, 4);
    text += "-" + std::to_string(part);
  }
  return text;
}

namespace {
size_t SidSize(const void* sid) {
  return 8 + 4 * static_cast<const BYTE*>(sid)[1];
}
}  // namespace

void* MakeDescriptor(const std::string* owner, const std::vector<AccessEntry>* access,
                     bool accessProtected, size_t* size) {
  std::vector<BYTE> bytes(sizeof(SECURITY_DESCRIPTOR_RELATIVE));
  SECURITY_DESCRIPTOR_RELATIVE header = {};
  header.Revision = 1;
  header.Control = SE_SELF_RELATIVE;
  if (owner != nullptr) {
    std::vector<BYTE> sid = SidBytes(*owner);
    header.Owner = static_cast<DWORD>(bytes.size());
    bytes.insert(bytes.end(), sid.begin(), sid.end());
  }
  if (access != nullptr) {
    header.Control |= SE_DACL_PRESENT | (accessProtected ? SE_DACL_PROTECTED : 0);
    header.Dacl = static_cast<DWORD>(bytes.size());
    std::vector<BYTE> list(sizeof(ACL));
    for (const AccessEntry& entry : *access) {
      std::vector<BYTE> sid = SidBytes(entry.sid);
      ACE_HEADER ace = {entry.type, entry.flags, static_cast<WORD>(8 + sid.size())};
      size_t at = list.size();
      list.resize(at + ace.AceSize);
      memcpy(&list[at], &ace, sizeof(ace));
      memcpy(&list[at + 4], &entry.mask, 4);
      memcpy(&list[at + 8], sid.data(), sid.size());
    }
    ACL acl = {ACL_REVISION, 0, static_cast<WORD>(list.size()), static_cast<WORD>(access->size()),
               0};
    memcpy(list.data(), &acl, sizeof(acl));
    bytes.insert(bytes.end(), list.begin(), list.end());
  }
  memcpy(bytes.data(), &header, sizeof(header));
  void* block = Machine::Current().AllocateBlock(true, bytes.size(), false);
  memcpy(block, bytes.data(), bytes.size());
  if (size != nullptr) *size = bytes.size();
  return block;
}

bool ReadDescriptor(const void* descriptor, std::string* owner, std::vector<AccessEntry>* access,
                    bool* accessProtected) {
  SECURITY_DESCRIPTOR_RELATIVE header;
  memcpy(&header, descriptor, sizeof(header));
  if (header.Revision != 1 || (header.Control & SE_SELF_RELATIVE) == 0) return false;
  const BYTE* bytes = static_cast<const BYTE*>(descriptor);
  if (header.Owner != 0) *owner = SidText(bytes + header.Owner);
  if ((header.Control & SE_DACL_PRESENT) != 0 && header.Dacl != 0) {
    *accessProtected = (header.Control & SE_DACL_PROTECTED) != 0;
    ACL acl;
    memcpy(&acl, bytes + header.Dacl, sizeof(acl));
    access->clear();
    const BYTE* at = bytes + header.Dacl + sizeof(ACL);
    for (WORD i = 0; i < acl.AceCount; ++i) {
      ACE_HEADER ace;
      memcpy(&ace, at, sizeof(ace));
      AccessEntry entry;
      entry.type = ace.AceType;
      entry.flags = ace.AceFlags;
      memcpy(&entry.mask, at + 4, 4);
      entry.sid = SidText(at + 8);
      access->push_back(entry);
      at += ace.AceSize;
    }
  }
  return true;
}

}  // namespace winsim

namespace {

// The descriptor language's names for accounts and rights that the simulation reads.
std::string SidOfAlias(const std::string& alias) {
  if (alias == "SY") return winsim::kSystemSid;
  if (alias == "BA") return winsim::kAdministratorsSid;
  if (alias == "BU") return winsim::kUsersSid;
  if (alias == "WD") return winsim::kEveryoneSid;
  if (alias == "CO") return "S-1-3-0";
  if (alias == "AU") return "S-1-5-11";
  return winsim::SidBytes(alias).empty() ? std::string() : alias;
}

bool RightsOf(const std::string& text, DWORD* mask) {
  static const std::pair<const char*, DWORD> kRights[] = {
      {"FA", FILE_ALL_ACCESS}, {"FR", 0x120089},       {"FW", winsim::kWriteAccess},
      {"FX", 0x1200A0},        {"GA", GENERIC_ALL},    {"GR", GENERIC_READ},
      {"GW", GENERIC_WRITE},   {"GX", GENERIC_EXECUTE}};
  if (text.compare(0, 2, "0x") == 0) {
    *mask = static_cast<DWORD>(strtoul(text.c_str() + 2, nullptr, 16));
    return true;
  }
  *mask = 0;
  for (size_t at = 0; at < text.size(); at += 2) {
    bool known = false;
    for (const auto& [name, value] : kRights) {
      if (text.compare(at, 2, name) == 0) *mask |= value, known = true;
    }
    if (!known) return false;
  }
  return true;
}

bool FlagsOf(const std::string& text, BYTE* flags) {
  static const std::pair<const char*, BYTE> kFlags[] = {{"OI", OBJECT_INHERIT_ACE},
                                                        {"CI", CONTAINER_INHERIT_ACE},
                                                        {"NP", NO_PROPAGATE_INHERIT_ACE},
                                                        {"IO", INHERIT_ONLY_ACE},
                                                        {"ID", INHERITED_ACE}};
  *flags = 0;
  for (size_t at = 0; at < text.size(); at += 2) {
    bool known = false;
    for (const auto& [name, value] : kFlags) {
      if (text.compare(at, 2, name) == 0) *flags |= value, known = true;
    }
    if (!known) return false;
  }
  return true;
}

// "O:owner" and "D:[P](type;flags;rights;;;account)..." in either order; false on anything else.
bool ParseDescriptorText(const std::string& text, std::string* owner,
                         std::vector<AccessEntry>* access, bool* hasAccess, bool* isProtected) {
  size_t at = 0;
  while (at < text.size()) {
    if (text.compare(at, 2, "O:") == 0) {
      size_t end = text.find_first_of(":(", at + 2);
      end = end == std::string::npos ? text.size() : end - 1;
      *owner = SidOfAlias(text.substr(at + 2, end - at - 2));
      if (owner->empty()) return false;
      at = end;
    } else if (text.compare(at, 2, "D:") == 0) {
      *hasAccess = true;
      at += 2;
      if (at < text.size() && text[at] == 'P') *isProtected = true, ++at;
      while (at < text.size() && text[at] == '(') {
        size_t end = text.find(')', at);
        if (end == std::string::npos) return false;
        std::vector<std::string> fields;
        for (size_t from = at + 1;;) {
          size_t semicolon = text.find(';', from);
          if (semicolon == std::string::npos || semicolon > end) {
            fields.push_back(text.substr(from, end - from));
            break;
          }
          fields.push_back(text.substr(from, semicolon - from));
          from = semicolon + 1;
        }
        AccessEntry entry;
        if (fields.size() != 6 || (fields[0] != "A" && fields[0] != "D") ||
            !FlagsOf(fields[1], &entry.flags) || !RightsOf(fields[2], &entry.mask)) {
          return false;
        }
        entry.type = fields[0] == "A" ? ACCESS_ALLOWED_ACE_TYPE : ACCESS_DENIED_ACE_TYPE;
        entry.sid = SidOfAlias(fields[5]);
        if (entry.sid.empty()) return false;
        access->push_back(entry);
        at = end + 1;
      }
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

HANDLE WINAPI GetCurrentProcess(void) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  Machine& machine = Machine::Current();
  auto process = machine.LookupHandle<winsim::Processes::ProcessObject>(
      ProcessHandle, winsim::HandleKind::Process);
  const Token* of = ProcessHandle == GetCurrentProcess() ? &machine.processes().token
                    : process != nullptr ? machine.processes().TokenOf(process->processId)
                                         : nullptr;
  if (of == nullptr || TokenHandle == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Another account's token opens for the system account and administrators not limited.
  const Token& caller = machine.processes().token;
  if (of->user != caller.user && caller.user != winsim::kSystemSid &&
      (!caller.Holds(winsim::kAdministratorsSid) || caller.integrity < of->integrity)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  auto token = std::make_shared<Token>(*of);
  (void)DesiredAccess;
  *TokenHandle = Machine::Current().AddHandle(winsim::HandleKind::Other, token);
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                LPVOID TokenInformation, DWORD TokenInformationLength,
                                PDWORD ReturnLength) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  auto token = Machine::Current().LookupHandle<Token>(TokenHandle, winsim::HandleKind::Other);
  if (!token || ReturnLength == nullptr) {
    SetLastError(token ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (TokenInformationClass == TokenElevationType || TokenInformationClass == TokenSessionId ||
      TokenInformationClass == TokenLinkedToken) {
    DWORD needed =
        TokenInformationClass == TokenLinkedToken ? sizeof(TOKEN_LINKED_TOKEN) : sizeof(DWORD);
    *ReturnLength = needed;
    if (TokenInformation == nullptr || TokenInformationLength < needed) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    if (TokenInformationClass == TokenElevationType) {
      *static_cast<DWORD*>(TokenInformation) = token->elevation;
    } else if (TokenInformationClass == TokenSessionId) {
      *static_cast<DWORD*>(TokenInformation) = token->session;
    } else if (token->linked == nullptr) {
      SetLastError(ERROR_NO_SUCH_LOGON_SESSION);  // a token that is not split
      return FALSE;
    } else {
      static_cast<TOKEN_LINKED_TOKEN*>(TokenInformation)->LinkedToken =
          Machine::Current().AddHandle(winsim::HandleKind::Other,
                                       std::make_shared<Token>(*token->linked));
    }
    winsim::PoisonLastError();
    return TRUE;
  }
  if (TokenInformationClass != TokenUser && TokenInformationClass != TokenIntegrityLevel) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<BYTE> sid = winsim::SidBytes(TokenInformationClass == TokenUser
                                               ? token->user
                                               : "S-1-16-" + std::to_string(token->integrity));
  DWORD needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
  *ReturnLength = needed;
  if (TokenInformation == nullptr || TokenInformationLength < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* user = static_cast<TOKEN_USER*>(TokenInformation);
  BYTE* sidAt = static_cast<BYTE*>(TokenInformation) + sizeof(TOKEN_USER);
  memcpy(sidAt, sid.data(), sid.size());
  user->User.Sid = sidAt;
  user->User.Attributes = 0;
  winsim::PoisonLastError();
  return TRUE;
}

PUCHAR WINAPI GetSidSubAuthorityCount(PSID pSid) {
  winsim::EnterCall(__func__);
  return static_cast<PUCHAR>(pSid) + 1;
}

PDWORD WINAPI GetSidSubAuthority(PSID pSid, DWORD nSubAuthority) {
  winsim::EnterCall(__func__);
  return reinterpret_cast<PDWORD>(static_cast<BYTE*>(pSid) + 8 + 4 * nSubAuthority);
}

BOOL WINAPI IsWellKnownSid(PSID pSid, WELL_KNOWN_SID_TYPE WellKnownSidType) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  std::string text = winsim::SidText(pSid);
  winsim::PoisonLastError();
  const char* known = winsim::WellKnownText(WellKnownSidType);
  return known != nullptr && text == known;
}

BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  // The last error is ERROR_SUCCESS when the two differ, as the platform sets it.
  size_t size = winsim::SidSize(pSid1);
  BOOL equal = size == winsim::SidSize(pSid2) && memcmp(pSid1, pSid2, size) == 0;
  SetLastError(ERROR_SUCCESS);
  return equal;
}

BOOL WINAPI GetAce(PACL pAcl, DWORD dwAceIndex, LPVOID* pAce) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (pAcl == nullptr || pAce == nullptr || dwAceIndex >= pAcl->AceCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BYTE* at = reinterpret_cast<BYTE*>(pAcl) + sizeof(ACL);
  for (DWORD i = 0; i < dwAceIndex; ++i) at += reinterpret_cast<ACE_HEADER*>(at)->AceSize;
  *pAce = at;
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorW(
    LPCWSTR StringSecurityDescriptor, DWORD StringSDRevision,
    PSECURITY_DESCRIPTOR* SecurityDescriptor, PULONG SecurityDescriptorSize) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  std::string owner;
  std::vector<AccessEntry> access;
  bool hasAccess = false;
  bool isProtected = false;
  if (StringSecurityDescriptor == nullptr || SecurityDescriptor == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (StringSDRevision != SDDL_REVISION_1) {
    SetLastError(ERROR_UNKNOWN_REVISION);
    return FALSE;
  }
  if (!ParseDescriptorText(winsim::Utf8(winsim::FromPtr(StringSecurityDescriptor)), &owner, &access,
                           &hasAccess, &isProtected)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  size_t size = 0;
  *SecurityDescriptor = winsim::MakeDescriptor(owner.empty() ? nullptr : &owner,
                                               hasAccess ? &access : nullptr, isProtected, &size);
  if (SecurityDescriptorSize != nullptr) *SecurityDescriptorSize = static_cast<ULONG>(size);
  winsim::PoisonLastError();
  return TRUE;
}
