// Simulated security, as far as kernel objects need it: SIDs by their text form ("S-1-5-32-544"),
// the token of an account (its user, its groups, the owner it gives new objects), and an
// object's security: its owner and its access list, reduced to who is allowed and who is denied
// (every entry is taken for full access).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "winsim/files.h"  // the SIDs of the system account, Administrators, Users, Everyone

namespace winsim {

constexpr const char* kAuthenticatedUsersSid = "S-1-5-11";
// A standard user of the machine.
constexpr const char* kStandardUserSid = "S-1-5-21-1004336348-1177238915-682003330-1001";

// The session the program runs in unless a test says otherwise: an interactive one.
constexpr DWORD kProgramSession = 1;

struct Token {
  std::string user;
  std::vector<std::string> groups;
  std::string defaultOwner;  // an elevated administrator's objects belong to Administrators
  DWORD session = kProgramSession;
  DWORD integrity = SECURITY_MANDATORY_HIGH_RID;
  TOKEN_ELEVATION_TYPE elevation = TokenElevationTypeDefault;
  // The other half of a split token (the unelevated one of an elevated token, and back).
  std::shared_ptr<Token> linked;
  bool Holds(const std::string& sid) const;

  // Not split (UAC off): an administrator's token with the rights it always has.
  static Token ElevatedAdministrator();
  static Token StandardUser();
  static Token SystemAccount();  // "S-1-5-18", whose objects it owns itself
  // An administrator elevated under UAC: the full token, linked to its unelevated half.
  static Token SplitAdministrator(const std::string& user);
  // The same account at medium integrity (Administrators only to deny, owner the user).
  Token Unelevated() const;
};

struct ObjectSecurity {
  std::string owner;
  bool hasDacl = false;  // none: everyone has every access
  std::vector<std::string> allowed;
  std::vector<std::string> denied;
  bool Grants(const Token& token) const;
  // An object made by the account, with the descriptor's security or the token's defaults.
  static ObjectSecurity MadeBy(const Token& token);
};

// The SID's bytes as the platform lays them out; empty for text that is no SID.
std::vector<BYTE> SidBytes(const std::string& text);
// The text form of a SID in memory; empty when it is not a valid SID.
std::string SidText(const void* sid);
// The security a descriptor made by ConvertStringSecurityDescriptorToSecurityDescriptorW holds,
// for the calls that take SECURITY_ATTRIBUTES; false when it is none of those.
bool DescriptorSecurity(const void* descriptor, ObjectSecurity* security);

// The text form of a well-known SID; null for a type the simulation does not know.
const char* WellKnownText(WELL_KNOWN_SID_TYPE type);
// GetSecurityInfo for SE_KERNEL_OBJECT: the owner of a mutex.
DWORD KernelObjectSecurityInfo(HANDLE handle, SE_OBJECT_TYPE ObjectType,
                               SECURITY_INFORMATION SecurityInfo, PSID* ppsidOwner,
                               PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                               PSECURITY_DESCRIPTOR* ppSecurityDescriptor);

}  // namespace winsim
