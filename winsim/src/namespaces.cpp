// Private namespaces and the kernel32 calls on boundary descriptors and namespaces.
#include "winsim/namespaces.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "winsim/processes.h"
#include "winsim/text.h"

using winsim::Machine;
using winsim::PrivateNamespaces;

namespace winsim {

std::string PrivateNamespaces::Key(const Boundary& boundary) {
  std::vector<std::string> sids = boundary.sids;
  std::sort(sids.begin(), sids.end());
  std::string key = boundary.name;
  for (const std::string& sid : sids) key += "|" + sid;
  return key;
}

std::shared_ptr<PrivateNamespaces::Namespace> PrivateNamespaces::CreateOrOpen(
    const Boundary& boundary, const ObjectSecurity& security, bool* existed) {
  std::string key = Key(boundary);
  if (auto living = living_[key].lock()) {
    *existed = true;
    return living;
  }
  *existed = false;
  auto space = std::make_shared<Namespace>();
  space->key = key;
  space->instance = nextInstance_++;
  space->security = security;
  living_[key] = space;
  return space;
}

std::shared_ptr<PrivateNamespaces::Namespace> PrivateNamespaces::Find(
    const Boundary& boundary) const {
  auto found = living_.find(Key(boundary));
  return found == living_.end() ? nullptr : found->second.lock();
}

std::string PrivateNamespaces::ObjectName(const Namespace& space, const std::string& object) {
  return "\\PrivateNamespace" + std::to_string(space.instance) + "\\" + object;
}

std::shared_ptr<PrivateNamespaces::Opening> PrivateNamespaces::Open(
    const std::string& alias, const std::shared_ptr<Namespace>& space) {
  auto opening = std::make_shared<Opening>(Opening{alias, space});
  openings_.push_back(opening);
  return opening;
}

std::shared_ptr<PrivateNamespaces::Namespace> PrivateNamespaces::ByAlias(
    const std::string& alias) const {
  for (auto entry = openings_.rbegin(); entry != openings_.rend(); ++entry) {
    auto opening = entry->lock();
    if (opening && EqualsIgnoringCase(Widen(opening->alias), Widen(alias))) return opening->space;
  }
  return nullptr;
}

}  // namespace winsim

namespace {

using Boundary = PrivateNamespaces::Boundary;

std::shared_ptr<Boundary> LookupBoundary(const void* handle) {
  return Machine::Current().LookupHandle<Boundary>(handle, winsim::HandleKind::Boundary);
}

// The alias as the program gave it; empty for a null, empty or backslashed one.
std::string AliasOf(LPCWSTR alias) {
  if (alias == nullptr) return "";
  std::string text = winsim::Utf8(winsim::FromPtr(alias));
  return text.find('\\') == std::string::npos ? text : "";
}

HANDLE OpenHandle(const std::string& alias,
                  const std::shared_ptr<PrivateNamespaces::Namespace>& space) {
  Machine& machine = Machine::Current();
  return machine.AddHandle(winsim::HandleKind::Namespace, machine.namespaces().Open(alias, space));
}

}  // namespace

HANDLE WINAPI CreateBoundaryDescriptorW(LPCWSTR Name, ULONG Flags) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  if (Name == nullptr || Flags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto boundary = std::make_shared<Boundary>();
  boundary->name = winsim::Utf8(winsim::FromPtr(Name));
  HANDLE handle = Machine::Current().AddHandle(winsim::HandleKind::Boundary, boundary);
  winsim::PoisonLastError();
  return handle;
}

BOOL WINAPI AddSIDToBoundaryDescriptor(HANDLE* BoundaryDescriptor, PSID RequiredSid) {
  if (!Machine::Current().namespaces().present) {
    fprintf(stderr, "winsim: AddSIDToBoundaryDescriptor is an unimplemented stub here\n");
    abort();
  }
  WINSIM_ENTER_OR_FAIL(FALSE);
  auto boundary = BoundaryDescriptor != nullptr ? LookupBoundary(*BoundaryDescriptor) : nullptr;
  std::string sid = winsim::SidText(RequiredSid);
  if (!boundary || sid.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  boundary->sids.push_back(sid);
  winsim::PoisonLastError();
  return TRUE;
}

VOID WINAPI DeleteBoundaryDescriptor(HANDLE BoundaryDescriptor) {
  winsim::EnterCall(__func__);
  Machine::Current().RemoveHandle(BoundaryDescriptor, winsim::HandleKind::Boundary);
}

HANDLE WINAPI CreatePrivateNamespaceW(LPSECURITY_ATTRIBUTES lpPrivateNamespaceAttributes,
                                      LPVOID lpBoundaryDescriptor, LPCWSTR lpAliasPrefix) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  Machine& machine = Machine::Current();
  auto boundary = LookupBoundary(lpBoundaryDescriptor);
  std::string alias = AliasOf(lpAliasPrefix);
  winsim::ObjectSecurity security = winsim::ObjectSecurity::MadeBy(machine.processes().token);
  if (lpPrivateNamespaceAttributes != nullptr &&
      lpPrivateNamespaceAttributes->lpSecurityDescriptor != nullptr &&
      !winsim::DescriptorSecurity(lpPrivateNamespaceAttributes->lpSecurityDescriptor, &security)) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return nullptr;
  }
  if (!boundary || alias.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const winsim::Token& token = machine.processes().token;
  for (const std::string& sid : boundary->sids) {
    if (!token.Holds(sid)) {
      SetLastError(ERROR_ACCESS_DENIED);  // the caller is outside the boundary
      return nullptr;
    }
  }
  if (machine.namespaces().Find(*boundary)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return nullptr;
  }
  bool existed = false;
  auto space = machine.namespaces().CreateOrOpen(*boundary, security, &existed);
  HANDLE handle = OpenHandle(alias, space);
  winsim::PoisonLastError();
  return handle;
}

HANDLE WINAPI OpenPrivateNamespaceW(LPVOID lpBoundaryDescriptor, LPCWSTR lpAliasPrefix) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  Machine& machine = Machine::Current();
  auto boundary = LookupBoundary(lpBoundaryDescriptor);
  std::string alias = AliasOf(lpAliasPrefix);
  if (!boundary || alias.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto space = machine.namespaces().Find(*boundary);
  if (!space) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  if (!space->security.Grants(machine.processes().token)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  HANDLE handle = OpenHandle(alias, space);
  winsim::PoisonLastError();
  return handle;
}

BOOLEAN WINAPI ClosePrivateNamespace(HANDLE Handle, ULONG Flags) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  // Destroying (PRIVATE_NAMESPACE_FLAG_DESTROY) is not simulated: the installer never does.
  if (Flags != 0 || !Machine::Current().RemoveHandle(Handle, winsim::HandleKind::Namespace)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  winsim::PoisonLastError();
  return TRUE;
}
