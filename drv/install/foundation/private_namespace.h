// A private object namespace bounded by the Administrators group: only a process whose token
// holds that group can make it, and its access list lets only Administrators and the system
// open it, so what is named inside it cannot be made or held first by a standard user.
//
// The calls are found in kernel32 at run time: systems before Vista and Wine 8.0 have no
// CreatePrivateNamespaceW (and on Wine the boundary calls are missing or a stub that ends the
// program), so none of them is called unless CreatePrivateNamespaceW is there.
// PrivateNamespacesPresent() tells which case the system is. OpenAdminNamespace makes the
// namespace or opens the one another run made; the returned owner closes it without destroying
// it (a run that still waits inside it keeps it), and is empty on failure with the last error
// set.
#pragma once

#include <windows.h>

class AdminNamespace {
 public:
  using CloseProc = BOOLEAN(WINAPI*)(HANDLE, ULONG);

  AdminNamespace() = default;
  AdminNamespace(HANDLE handle, CloseProc close) : handle_(handle), close_(close) {}
  ~AdminNamespace() { reset(); }
  AdminNamespace(AdminNamespace&& other) noexcept : handle_(other.handle_), close_(other.close_) {
    other.handle_ = nullptr;
  }
  AdminNamespace& operator=(AdminNamespace&& other) noexcept;
  AdminNamespace(const AdminNamespace&) = delete;
  AdminNamespace& operator=(const AdminNamespace&) = delete;

  bool valid() const { return handle_ != nullptr; }
  void reset();

 private:
  HANDLE handle_ = nullptr;
  CloseProc close_ = nullptr;
};

enum class NamespaceOutcome { Opened, Missing, Failed };

// alias is the prefix of the names inside it ("alias\\object"); security applies to the
// namespace itself.
NamespaceOutcome OpenAdminNamespace(const WCHAR* alias, LPSECURITY_ATTRIBUTES security,
                                    AdminNamespace& opened);
