// COM and OLE Automation for the stand-in platform: IUnknown reference counting, GUIDs, BSTR,
// VARIANT and one-dimensional SAFEARRAYs, with the layouts and contracts the program relies on.
#pragma once

#include "platform/portable/Base.h"

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& left, const GUID& right) noexcept {
  if (left.Data1 != right.Data1 || left.Data2 != right.Data2 || left.Data3 != right.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (left.Data4[i] != right.Data4[i]) return false;
  return true;
}
#define IsEqualGUID(a, b) ((a) == (b))
#define IsEqualIID(a, b) ((a) == (b))

// Declares the IID of an interface so that __uuidof-style lookups work the same on both builds.
template <typename Interface>
struct InterfaceId;
#define TESSARWICK_DECLARE_IID(Interface, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7) \
  template <>                                                                         \
  struct InterfaceId<Interface> {                                                     \
    static constexpr GUID value{d1, d2, d3, {b0, b1, b2, b3, b4, b5, b6, b7}};        \
  };                                                                                  \
  inline constexpr GUID IID_##Interface = InterfaceId<Interface>::value

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};
TESSARWICK_DECLARE_IID(IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

// COM start-up. The stand-in keeps no apartments; it only records that the thread joined one.
constexpr DWORD COINIT_MULTITHREADED = 0;
constexpr DWORD COINIT_APARTMENTTHREADED = 2;
HRESULT CoInitializeEx(void* reserved, DWORD concurrency);
namespace tessarwick::portable {
// Whether CoInitializeEx has run: the stand-in's classes, like COM's, refuse to be made before.
bool ComInitialized();
}  // namespace tessarwick::portable

constexpr DWORD CLSCTX_INPROC_SERVER = 1;
constexpr DWORD CLSCTX_LOCAL_SERVER = 4;
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);

// Proxy security, as the RPC_C_* constants name its values.
constexpr DWORD RPC_C_AUTHN_NONE = 0;
constexpr DWORD RPC_C_AUTHN_WINNT = 10;
constexpr DWORD RPC_C_AUTHZ_NONE = 0;
constexpr DWORD RPC_C_AUTHN_LEVEL_PKT = 4;
constexpr DWORD RPC_C_IMP_LEVEL_IMPERSONATE = 3;
constexpr DWORD EOAC_NONE = 0;
using RPC_AUTH_IDENTITY_HANDLE = void*;
HRESULT CoSetProxyBlanket(IUnknown* proxy, DWORD authnService, DWORD authzService, OLECHAR* serverPrincipalName,
                          DWORD authnLevel, DWORD impLevel, RPC_AUTH_IDENTITY_HANDLE authInfo, DWORD capabilities);

// OLE strings: a 32-bit byte length stands just before the text, which is zero-terminated.
using BSTR = OLECHAR*;
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);
void SysFreeString(BSTR text);

// Variants: the value types the program and the WMI stand-in exchange.
using VARTYPE = std::uint16_t;
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};
using VARIANT_BOOL = std::int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};
struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  PVOID pvData;
  SAFEARRAYBOUND rgsabound[1];
};

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    char cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    BSTR bstrVal;
    IUnknown* punkVal;
    SAFEARRAY* parray;
  };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;

void VariantInit(VARIANT* value);
HRESULT VariantClear(VARIANT* value);
HRESULT VariantCopy(VARIANT* destination, const VARIANT* source);

// One-dimensional safe arrays of VT_UI1, VT_I4 or VT_BSTR elements; data is reached by locking.
SAFEARRAY* SafeArrayCreateVector(VARTYPE type, LONG lowerBound, ULONG elements);
HRESULT SafeArrayDestroy(SAFEARRAY* array);
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound);
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type);
HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** destination);
namespace tessarwick::portable {
// Fault injection for the simulated WMI host (docs/host-file.md): the next SafeArrayAccessData
// call on this thread that is given an array and an out-pointer fails with `status` and locks
// nothing. S_OK withdraws a failure not yet taken.
void FailNextSafeArrayAccess(HRESULT status) noexcept;
}  // namespace tessarwick::portable
