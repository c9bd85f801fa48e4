// combase, the Windows Runtime's activation: joining the thread to an apartment, the strings
// that name runtime classes (HSTRING), and the activation factory of a class, which answers
// the class's static members through an interface derived from IInspectable.
#pragma once

#include "winsim/api/base.h"

#define STDMETHODCALLTYPE

typedef struct _GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
} GUID;
typedef GUID IID;
typedef const IID& REFIID;
typedef unsigned char boolean;

#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106L)

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

enum TrustLevel { BaseTrust = 0, PartialTrust = 1, FullTrust = 2 };

WINSIM_DECLARE_HANDLE(HSTRING);

struct IInspectable : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetIids(ULONG* iidCount, IID** iids) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING* className) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel* trustLevel) = 0;
};

typedef enum RO_INIT_TYPE { RO_INIT_SINGLETHREADED = 0, RO_INIT_MULTITHREADED = 1 } RO_INIT_TYPE;

HRESULT WINAPI RoInitialize(RO_INIT_TYPE initType);
void WINAPI RoUninitialize(void);
HRESULT WINAPI RoGetActivationFactory(HSTRING activatableClassId, REFIID iid, void** factory);
HRESULT WINAPI WindowsCreateString(LPCWSTR sourceString, UINT32 length, HSTRING* string);
HRESULT WINAPI WindowsDeleteString(HSTRING string);
