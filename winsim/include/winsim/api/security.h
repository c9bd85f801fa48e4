// advapi32: security identifiers, security descriptors from their text form, and reading the
// owner of a kernel object. Only what the installer's run lock uses.
#pragma once

#include "winsim/api/base.h"

#define SECURITY_MAX_SID_SIZE 68
typedef enum {
  WinWorldSid = 1,
  WinAuthenticatedUserSid = 17,
  WinLocalSystemSid = 22,
  WinBuiltinAdministratorsSid = 26,
  WinBuiltinUsersSid = 27,
} WELL_KNOWN_SID_TYPE;
// Writes the SID into pSid (*cbSid bytes); the domain SID is needed only for domain accounts.
BOOL WINAPI CreateWellKnownSid(WELL_KNOWN_SID_TYPE WellKnownSidType, PSID DomainSid, PSID pSid,
                               DWORD* cbSid);
BOOL WINAPI IsWellKnownSid(PSID pSid, WELL_KNOWN_SID_TYPE WellKnownSidType);

typedef struct _ACL ACL, *PACL;
typedef DWORD SECURITY_INFORMATION;
#define OWNER_SECURITY_INFORMATION 0x00000001L
#define GROUP_SECURITY_INFORMATION 0x00000002L
#define DACL_SECURITY_INFORMATION 0x00000004L
typedef enum {
  SE_UNKNOWN_OBJECT_TYPE = 0,
  SE_FILE_OBJECT,
  SE_SERVICE,
  SE_PRINTER,
  SE_REGISTRY_KEY,
  SE_LMSHARE,
  SE_KERNEL_OBJECT,
} SE_OBJECT_TYPE;
// Returns its error. The descriptor comes from LocalAlloc; the owner points into it.
DWORD WINAPI GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE ObjectType,
                             SECURITY_INFORMATION SecurityInfo, PSID* ppsidOwner, PSID* ppsidGroup,
                             PACL* ppDacl, PACL* ppSacl,
                             PSECURITY_DESCRIPTOR* ppSecurityDescriptor);

#define SDDL_REVISION_1 1
// The descriptor comes from LocalAlloc. The simulation reads the owner ("O:"), the group
// ("G:"), a DACL ("D:" with the flags P, AI, AR) of allow (A) and deny (D) entries; trustees by
// alias (SY, BA, BU, WD, AU) or as "S-1-...".
BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorW(
    LPCWSTR StringSecurityDescriptor, DWORD StringSDRevision,
    PSECURITY_DESCRIPTOR* SecurityDescriptor, ULONG* SecurityDescriptorSize);
