#include "private_namespace.h"

namespace {

using CreateBoundaryProc = HANDLE(WINAPI*)(LPCWSTR, ULONG);
using AddSidProc = BOOL(WINAPI*)(HANDLE*, PSID);
using DeleteBoundaryProc = VOID(WINAPI*)(HANDLE);
using CreateNamespaceProc = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
using OpenNamespaceProc = HANDLE(WINAPI*)(LPVOID, LPCWSTR);

constexpr const WCHAR* kBoundaryName = L"vexaWriter.Install";
// A namespace closed by its last run between another run's create and open is made again.
constexpr int kAttempts = 2;

FARPROC KernelExport(const char* name) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
}

template <typename Proc>
Proc Export(const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)(void)>(KernelExport(name)));
}

struct NamespaceCalls {
  CreateBoundaryProc createBoundary = nullptr;
  AddSidProc addSid = nullptr;
  DeleteBoundaryProc deleteBoundary = nullptr;
  CreateNamespaceProc create = nullptr;
  OpenNamespaceProc open = nullptr;
  AdminNamespace::CloseProc close = nullptr;
};

// All of them, or false. CreatePrivateNamespaceW is looked up first: where it is missing the
// boundary calls may be stubs that must never run.
bool FindNamespaceCalls(NamespaceCalls& calls) {
  calls.create = Export<CreateNamespaceProc>("CreatePrivateNamespaceW");
  if (calls.create == nullptr) return false;
  calls.open = Export<OpenNamespaceProc>("OpenPrivateNamespaceW");
  calls.close = Export<AdminNamespace::CloseProc>("ClosePrivateNamespace");
  calls.createBoundary = Export<CreateBoundaryProc>("CreateBoundaryDescriptorW");
  calls.addSid = Export<AddSidProc>("AddSIDToBoundaryDescriptor");
  calls.deleteBoundary = Export<DeleteBoundaryProc>("DeleteBoundaryDescriptor");
  return calls.open != nullptr && calls.close != nullptr && calls.createBoundary != nullptr &&
         calls.addSid != nullptr && calls.deleteBoundary != nullptr;
}

// The boundary descriptor: owned here, freed with DeleteBoundaryDescriptor.
class Boundary {
 public:
  explicit Boundary(const NamespaceCalls& calls)
      : calls_(calls), handle_(calls.createBoundary(kBoundaryName, 0)) {}
  ~Boundary() {
    if (handle_ == nullptr) return;
    DWORD error = GetLastError();
    calls_.deleteBoundary(handle_);
    SetLastError(error);
  }
  Boundary(const Boundary&) = delete;
  Boundary& operator=(const Boundary&) = delete;

  // Only tokens holding the Administrators group are within the boundary.
  bool AddAdministrators() {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(sid);
    if (handle_ == nullptr) return false;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size)) return false;
    // The call may move the descriptor: it takes the handle's address.
    return calls_.addSid(&handle_, sid) != FALSE;
  }
  HANDLE get() const { return handle_; }

 private:
  const NamespaceCalls& calls_;
  HANDLE handle_;
};

}  // namespace

AdminNamespace& AdminNamespace::operator=(AdminNamespace&& other) noexcept {
  if (this != &other) {
    reset();
    handle_ = other.handle_;
    close_ = other.close_;
    other.handle_ = nullptr;
  }
  return *this;
}

void AdminNamespace::reset() {
  if (handle_ == nullptr) return;
  DWORD error = GetLastError();
  close_(handle_, 0);  // never PRIVATE_NAMESPACE_FLAG_DESTROY: another run may wait inside
  SetLastError(error);
  handle_ = nullptr;
}

NamespaceOutcome OpenAdminNamespace(const WCHAR* alias, LPSECURITY_ATTRIBUTES security,
                                    AdminNamespace& opened) {
  NamespaceCalls calls;
  if (!FindNamespaceCalls(calls)) return NamespaceOutcome::Missing;
  Boundary boundary(calls);
  if (!boundary.AddAdministrators()) return NamespaceOutcome::Failed;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    HANDLE made = calls.create(security, boundary.get(), alias);
    if (made == nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
      made = calls.open(boundary.get(), alias);
      if (made == nullptr && GetLastError() == ERROR_FILE_NOT_FOUND) continue;
    }
    if (made == nullptr) break;
    opened = AdminNamespace(made, calls.close);
    return NamespaceOutcome::Opened;
  }
  return NamespaceOutcome::Failed;
}
