#include "protected_print.h"

#include <roapi.h>
#include <windows.h>
#include <winstring.h>

#include "foundation/handles.h"
#include "foundation/system_library.h"

// IWindowsProtectedPrintInfoStatics: IInspectable, then the class's one static property. Its
// IID A7D212F3-4168-5485-98AB-D89D04603B40 is the one the Windows SDK metadata
// (Windows.Graphics.Printing.ProtectedPrint, UniversalApiContract 19) gives; the C++/WinRT
// projection generated from it carries it as guid_v<IWindowsProtectedPrintInfoStatics> in
// winrt/impl/Windows.Graphics.Printing.ProtectedPrint.0.h. Declared at global scope under the
// interface's own name, so that the object the factory hands out is of this type by name too.
struct IWindowsProtectedPrintInfoStatics : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_IsProtectedPrintEnabled(boolean* value) = 0;
};

namespace {

constexpr WCHAR kRuntimeClass[] =
    L"Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo";
constexpr UINT32 kRuntimeClassUnits = sizeof(kRuntimeClass) / sizeof(WCHAR) - 1;

constexpr IID kStaticsIid = {
    0xA7D212F3, 0x4168, 0x5485, {0x98, 0xAB, 0xD8, 0x9D, 0x04, 0x60, 0x3B, 0x40}};

constexpr WCHAR kPolicyKey[] = L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";

using RoInitializeProc = HRESULT(WINAPI*)(RO_INIT_TYPE);
using RoUninitializeProc = void(WINAPI*)(void);
using RoGetActivationFactoryProc = HRESULT(WINAPI*)(HSTRING, REFIID, void**);
using WindowsCreateStringProc = HRESULT(WINAPI*)(LPCWSTR, UINT32, HSTRING*);
using WindowsDeleteStringProc = HRESULT(WINAPI*)(HSTRING);

template <typename Proc>
Proc Export(HMODULE library, const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)(void)>(GetProcAddress(library, name)));
}

struct RuntimeCalls {
  RoInitializeProc initialize;
  RoUninitializeProc uninitialize;
  RoGetActivationFactoryProc getFactory;
  WindowsCreateStringProc createString;
  WindowsDeleteStringProc deleteString;
};

bool FindRuntimeCalls(HMODULE combase, RuntimeCalls& calls) {
  calls.initialize = Export<RoInitializeProc>(combase, "RoInitialize");
  calls.uninitialize = Export<RoUninitializeProc>(combase, "RoUninitialize");
  calls.getFactory = Export<RoGetActivationFactoryProc>(combase, "RoGetActivationFactory");
  calls.createString = Export<WindowsCreateStringProc>(combase, "WindowsCreateString");
  calls.deleteString = Export<WindowsDeleteStringProc>(combase, "WindowsDeleteString");
  return calls.initialize != nullptr && calls.uninitialize != nullptr &&
         calls.getFactory != nullptr && calls.createString != nullptr &&
         calls.deleteString != nullptr;
}

// The thread's membership of the runtime's apartment, left again only when this joined it (a
// thread already in another kind of apartment answers RPC_E_CHANGED_MODE and stays in it).
class Apartment {
 public:
  explicit Apartment(const RuntimeCalls& calls)
      : calls_(calls), joined_(SUCCEEDED(calls.initialize(RO_INIT_MULTITHREADED))) {}
  ~Apartment() {
    if (joined_) calls_.uninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

 private:
  const RuntimeCalls& calls_;
  bool joined_;
};

class RuntimeString {
 public:
  RuntimeString(const RuntimeCalls& calls, const WCHAR* text, UINT32 units) : calls_(calls) {
    if (FAILED(calls.createString(text, units, &string_))) string_ = nullptr;
  }
  ~RuntimeString() {
    if (string_ != nullptr) calls_.deleteString(string_);
  }
  RuntimeString(const RuntimeString&) = delete;
  RuntimeString& operator=(const RuntimeString&) = delete;
  HSTRING get() const { return string_; }

 private:
  const RuntimeCalls& calls_;
  HSTRING string_ = nullptr;
};

class StaticsReference {
 public:
  StaticsReference() = default;
  ~StaticsReference() {
    if (statics_ != nullptr) statics_->Release();
  }
  StaticsReference(const StaticsReference&) = delete;
  StaticsReference& operator=(const StaticsReference&) = delete;
  IWindowsProtectedPrintInfoStatics* get() const { return statics_; }
  void** put() { return reinterpret_cast<void**>(&statics_); }

 private:
  IWindowsProtectedPrintInfoStatics* statics_ = nullptr;
};

// The runtime class's answer; false when there is none, and then `on` is left alone.
bool AskTheRuntime(bool& on) {
  UniqueLibrary combase(LoadSystemLibrary(L"combase.dll"));
  RuntimeCalls calls = {};
  if (!combase || !FindRuntimeCalls(combase.get(), calls)) return false;
  Apartment apartment(calls);
  RuntimeString name(calls, kRuntimeClass, kRuntimeClassUnits);
  if (name.get() == nullptr) return false;
  StaticsReference statics;
  if (FAILED(calls.getFactory(name.get(), kStaticsIid, statics.put())) ||
      statics.get() == nullptr) {
    return false;
  }
  boolean enabled = 0;
  if (FAILED(statics.get()->get_IsProtectedPrintEnabled(&enabled))) return false;
  on = enabled != 0;
  return true;
}

bool PolicyValueIsOne(HKEY key, const WCHAR* name) {
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof(value);
  return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
             ERROR_SUCCESS &&
         type == REG_DWORD && size == sizeof(value) && value == 1;
}

bool PolicySaysOn() {
  UniqueRegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_QUERY_VALUE, key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  return PolicyValueIsOne(key.get(), L"WindowsProtectedPrintGroupPolicyState") ||
         PolicyValueIsOne(key.get(), L"WindowsProtectedPrintMode");
}

}  // namespace

bool ProtectedPrintIsOn() {
  bool on = false;
  if (AskTheRuntime(on)) return on;
  return PolicySaysOn();
}
