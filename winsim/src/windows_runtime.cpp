// combase's activation of the one runtime class the installer asks for,
// Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo, and kernel32's
// IsWow64Process2. What they answer is the machine's (Processes): the class registered or not
// and its answer, the native machine. Strings and activation factories are counted as handles
// (kind Other) until they are deleted or released, and so is the apartment until the thread
// leaves it.
#include <roapi.h>
#include <windows.h>
#include <winstring.h>

#include <string.h>

#include <memory>

#include "winsim/machine.h"
#include "winsim/processes.h"
#include "winsim/text.h"

using winsim::HandleKind;
using winsim::Machine;
using winsim::WideText;

// The interface of the class's statics, declared as the program declares it.
struct IWindowsProtectedPrintInfoStatics : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_IsProtectedPrintEnabled(boolean* value) = 0;
};

namespace {

constexpr char16_t kProtectedPrintClass[] =
    u"Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo";
// IWindowsProtectedPrintInfoStatics, as the platform's metadata gives it.
constexpr GUID kStaticsIid = {
    0xA7D212F3, 0x4168, 0x5485, {0x98, 0xAB, 0xD8, 0x9D, 0x04, 0x60, 0x3B, 0x40}};
constexpr GUID kInspectableIid = {
    0xAF86E2E0, 0xB12D, 0x4C6A, {0x9C, 0x5A, 0xD7, 0xAA, 0x65, 0x10, 0x1E, 0x90}};
constexpr GUID kUnknownIid = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr HRESULT kNotInitialized = static_cast<HRESULT>(0x800401F0);  // CO_E_NOTINITIALIZED

bool SameIid(const GUID& a, const GUID& b) {
  return memcmp(&a, &b, sizeof(GUID)) == 0;
}

HRESULT FromWin32(DWORD error) {
  return static_cast<HRESULT>((error & 0xFFFF) | 0x80070000u);
}

// An injected fault of a call that returns its HRESULT: the error as the platform wraps it.
#define WINSIM_ENTER_OR_RETURN_HRESULT()                        \
  do {                                                          \
    if (DWORD winsimInjected = ::winsim::EnterCall(__func__)) { \
      return FromWin32(winsimInjected);                         \
    }                                                           \
  } while (0)

struct ProtectedPrintStatics : public IWindowsProtectedPrintInfoStatics {
  HANDLE handle = nullptr;  // its entry in the handle table, which keeps it alive
  ULONG references = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!SameIid(riid, kStaticsIid) && !SameIid(riid, kInspectableIid) &&
        !SameIid(riid, kUnknownIid)) {
      return E_NOINTERFACE;
    }
    AddRef();
    *object = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references;
    if (left == 0) Machine::Current().RemoveHandle(handle, HandleKind::Other);  // deletes this
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetIids(ULONG*, IID**) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING*) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel* level) override {
    *level = BaseTrust;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsProtectedPrintEnabled(boolean* value) override {
    WINSIM_ENTER_OR_RETURN_HRESULT();
    if (value == nullptr) return E_POINTER;
    *value = Machine::Current().processes().protectedPrintEnabled ? 1 : 0;
    return S_OK;
  }
};

}  // namespace

HRESULT WINAPI RoInitialize(RO_INIT_TYPE initType) {
  WINSIM_ENTER_OR_RETURN_HRESULT();
  winsim::Processes& processes = Machine::Current().processes();
  if (processes.runtimeInitializations != 0) {
    if (processes.runtimeInitType != initType) return RPC_E_CHANGED_MODE;
    ++processes.runtimeInitializations;
    return S_FALSE;
  }
  processes.runtimeInitializations = 1;
  processes.runtimeInitType = initType;
  processes.runtimeApartment = Machine::Current().AddHandle(HandleKind::Other, nullptr);
  return S_OK;
}

void WINAPI RoUninitialize(void) {
  if (winsim::EnterCall(__func__) != 0) return;
  winsim::Processes& processes = Machine::Current().processes();
  if (processes.runtimeInitializations == 0 || --processes.runtimeInitializations != 0) return;
  Machine::Current().RemoveHandle(processes.runtimeApartment, HandleKind::Other);
  processes.runtimeApartment = nullptr;
}

HRESULT WINAPI WindowsCreateString(LPCWSTR sourceString, UINT32 length, HSTRING* string) {
  WINSIM_ENTER_OR_RETURN_HRESULT();
  if (string == nullptr || (sourceString == nullptr && length != 0)) return E_INVALIDARG;
  *string = nullptr;
  if (length == 0) return S_OK;  // the empty string is the null HSTRING
  auto text = std::make_shared<WideText>(reinterpret_cast<const char16_t*>(sourceString), length);
  *string = static_cast<HSTRING>(Machine::Current().AddHandle(HandleKind::Other, text));
  return S_OK;
}

HRESULT WINAPI WindowsDeleteString(HSTRING string) {
  if (winsim::EnterCall(__func__) != 0 || string == nullptr) return S_OK;
  Machine::Current().RemoveHandle(string, HandleKind::Other);
  return S_OK;
}

HRESULT WINAPI RoGetActivationFactory(HSTRING activatableClassId, REFIID iid, void** factory) {
  WINSIM_ENTER_OR_RETURN_HRESULT();
  Machine& machine = Machine::Current();
  if (factory == nullptr) return E_INVALIDARG;
  *factory = nullptr;
  auto name = machine.LookupHandle<WideText>(activatableClassId, HandleKind::Other);
  if (name == nullptr) return E_INVALIDARG;
  if (machine.processes().runtimeInitializations == 0) return kNotInitialized;
  if (*name != kProtectedPrintClass || !machine.processes().hasProtectedPrintInfo) {
    return REGDB_E_CLASSNOTREG;
  }
  if (!SameIid(iid, kStaticsIid) && !SameIid(iid, kInspectableIid) && !SameIid(iid, kUnknownIid)) {
    return E_NOINTERFACE;
  }
  auto statics = std::make_shared<ProtectedPrintStatics>();
  statics->handle = machine.AddHandle(HandleKind::Other, statics);
  *factory = static_cast<IInspectable*>(statics.get());
  return S_OK;
}

BOOL WINAPI IsWow64Process2(HANDLE hProcess, USHORT* pProcessMachine, USHORT* pNativeMachine) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (hProcess != GetCurrentProcess() || pProcessMachine == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A 64-bit x86 program is not a WOW64 process, also where ARM64 Windows emulates it.
  *pProcessMachine = IMAGE_FILE_MACHINE_UNKNOWN;
  if (pNativeMachine != nullptr) *pNativeMachine = Machine::Current().processes().nativeMachine;
  winsim::PoisonLastError();
  return TRUE;
}
