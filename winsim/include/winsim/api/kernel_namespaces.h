// kernel32: boundary descriptors and private object namespaces. The installer finds these at
// run time (GetProcAddress on kernel32); they are declared so that the simulation can hand out
// their addresses.
#pragma once

#include "winsim/api/base.h"
#include "winsim/api/kernel_files.h"

#define PRIVATE_NAMESPACE_FLAG_DESTROY 0x00000001
// The descriptor is a block of the caller's, freed with DeleteBoundaryDescriptor.
HANDLE WINAPI CreateBoundaryDescriptorW(LPCWSTR Name, ULONG Flags);
BOOL WINAPI AddSIDToBoundaryDescriptor(HANDLE* BoundaryDescriptor, PSID RequiredSid);
VOID WINAPI DeleteBoundaryDescriptor(HANDLE BoundaryDescriptor);
// The caller's token must hold every SID of the boundary (else ERROR_ACCESS_DENIED); a
// namespace of that name and boundary that exists gives ERROR_ALREADY_EXISTS.
HANDLE WINAPI CreatePrivateNamespaceW(LPSECURITY_ATTRIBUTES lpPrivateNamespaceAttributes,
                                      LPVOID lpBoundaryDescriptor, LPCWSTR lpAliasPrefix);
// ERROR_FILE_NOT_FOUND when none exists; ERROR_ACCESS_DENIED when its access list refuses.
HANDLE WINAPI OpenPrivateNamespaceW(LPVOID lpBoundaryDescriptor, LPCWSTR lpAliasPrefix);
BOOLEAN WINAPI ClosePrivateNamespace(HANDLE Handle, ULONG Flags);
