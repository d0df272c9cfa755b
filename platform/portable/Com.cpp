// OLE Automation strings, variants and safe arrays of the stand-in platform.
#include "platform/portable/Com.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>
#include <new>

namespace {

bool comInitialized = false;

// A failure the simulated WMI host asked of the next SafeArrayAccessData on this thread.
thread_local HRESULT pendingAccessFailure = S_OK;

// A BSTR points just past its 32-bit byte length; the text is followed by a zero character.
struct BstrHeader {
  std::uint32_t byteLength;
};

constexpr std::size_t kBstrHeaderBytes = sizeof(OLECHAR) > sizeof(BstrHeader) ? sizeof(OLECHAR) : sizeof(BstrHeader);

BstrHeader* HeaderOf(BSTR text) {
  return reinterpret_cast<BstrHeader*>(reinterpret_cast<unsigned char*>(text) - kBstrHeaderBytes);
}

// Each safe array carries its element type beside the public structure (Windows keeps it in
// front of the structure for arrays made with a known variant type). The public structure comes
// first, so the array pointer is the record's own address.
struct SafeArrayRecord {
  SAFEARRAY array;
  VARTYPE elementType;
};
static_assert(offsetof(SafeArrayRecord, array) == 0);

SafeArrayRecord* RecordOf(SAFEARRAY* array) { return reinterpret_cast<SafeArrayRecord*>(array); }

ULONG ElementSize(VARTYPE type) {
  switch (type) {
    case VT_UI1:
    case VT_I1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      return 4;
    case VT_I8:
    case VT_UI8:
      return 8;
    case VT_BSTR:
      return sizeof(BSTR);
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return sizeof(void*);  // an interface pointer
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

void ClearElements(SAFEARRAY* array, VARTYPE type) {
  ULONG count = array->rgsabound[0].cElements;
  if (type == VT_BSTR) {
    auto* items = static_cast<BSTR*>(array->pvData);
    for (ULONG i = 0; i < count; ++i) SysFreeString(items[i]);
  } else if (type == VT_UNKNOWN || type == VT_DISPATCH) {
    auto* items = static_cast<IUnknown**>(array->pvData);
    for (ULONG i = 0; i < count; ++i)
      if (items[i] != nullptr) items[i]->Release();
  } else if (type == VT_VARIANT) {
    auto* items = static_cast<VARIANT*>(array->pvData);
    for (ULONG i = 0; i < count; ++i) VariantClear(&items[i]);
  }
}

}  // namespace

HRESULT CoInitializeEx(void* reserved, DWORD concurrency) {
  if (reserved != nullptr || (concurrency != COINIT_MULTITHREADED && concurrency != COINIT_APARTMENTTHREADED))
    return E_INVALIDARG;
  if (comInitialized) return S_FALSE;
  comInitialized = true;
  return S_OK;
}

bool tessarwick::portable::ComInitialized() { return comInitialized; }

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  std::size_t bytes = std::size_t{length} * sizeof(OLECHAR);
  if (bytes > std::numeric_limits<std::uint32_t>::max() - kBstrHeaderBytes - sizeof(OLECHAR)) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kBstrHeaderBytes + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  BSTR result = reinterpret_cast<BSTR>(block + kBstrHeaderBytes);
  HeaderOf(result)->byteLength = static_cast<std::uint32_t>(bytes);
  if (text != nullptr)
    std::memcpy(result, text, bytes);
  else
    std::memset(result, 0, bytes);
  result[length] = L'\0';
  return result;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  std::size_t length = std::wcslen(text);
  if (length > std::numeric_limits<UINT>::max() / sizeof(OLECHAR)) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(length));
}

UINT SysStringByteLen(BSTR text) { return text == nullptr ? 0 : HeaderOf(text)->byteLength; }
UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(HeaderOf(text));
}

void VariantInit(VARIANT* value) {
  std::memset(value, 0, sizeof(*value));
  value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value) {
  if (value == nullptr) return E_INVALIDARG;
  if (value->vt & VT_BYREF) {
    value->vt = VT_EMPTY;
    return S_OK;
  }
  HRESULT result = S_OK;
  if (value->vt & VT_ARRAY) {
    result = SafeArrayDestroy(value->parray);
    if (FAILED(result)) return result;
  } else {
    switch (value->vt) {
      case VT_BSTR:
        SysFreeString(value->bstrVal);
        break;
      case VT_UNKNOWN:
      case VT_DISPATCH:
        if (value->punkVal != nullptr) value->punkVal->Release();
        break;
      default:
        break;
    }
  }
  VariantInit(value);
  return result;
}

HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (destination == source) return S_OK;
  HRESULT result = VariantClear(destination);
  if (FAILED(result)) return result;
  VARIANT copy = *source;
  if (source->vt & VT_BYREF) return DISP_E_BADVARTYPE;
  if (source->vt & VT_ARRAY) {
    result = SafeArrayCopy(source->parray, &copy.parray);
    if (FAILED(result)) return result;
  } else if (source->vt == VT_BSTR && source->bstrVal != nullptr) {
    copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
    if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
  } else if ((source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) && source->punkVal != nullptr) {
    source->punkVal->AddRef();
  }
  *destination = copy;
  return S_OK;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE type, LONG lowerBound, ULONG elements) {
  ULONG size = ElementSize(type);
  if (size == 0) return nullptr;
  auto* record = new (std::nothrow) SafeArrayRecord;
  if (record == nullptr) return nullptr;
  *record = SafeArrayRecord{};
  record->elementType = type;
  SAFEARRAY* array = &record->array;
  array->cDims = 1;
  array->cbElements = size;
  array->rgsabound[0].cElements = elements;
  array->rgsabound[0].lLbound = lowerBound;
  array->pvData = std::calloc(elements ? elements : 1, size);
  if (array->pvData == nullptr) {
    delete record;
    return nullptr;
  }
  return array;
}

namespace {
// Frees an array and its elements without looking at its locks.
void FreeArray(SAFEARRAY* array) {
  SafeArrayRecord* record = RecordOf(array);
  ClearElements(array, record->elementType);
  std::free(array->pvData);
  delete record;
}
}  // namespace

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (array == nullptr) return S_OK;
  if (array->cLocks != 0) return DISP_E_ARRAYISLOCKED;
  FreeArray(array);
  return S_OK;
}

void tessarwick::portable::FailNextSafeArrayAccess(HRESULT status) noexcept { pendingAccessFailure = status; }

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (array == nullptr || data == nullptr) return E_INVALIDARG;
  if (FAILED(pendingAccessFailure)) {
    const HRESULT status = pendingAccessFailure;
    pendingAccessFailure = S_OK;
    return status;
  }
  ++array->cLocks;
  *data = array->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) {
  if (array == nullptr) return E_INVALIDARG;
  if (array->cLocks == 0) return E_UNEXPECTED;
  --array->cLocks;
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound) {
  if (array == nullptr || bound == nullptr || dimension != 1) return E_INVALIDARG;
  *bound = array->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound) {
  if (array == nullptr || bound == nullptr || dimension != 1) return E_INVALIDARG;
  *bound = array->rgsabound[0].lLbound + static_cast<LONG>(array->rgsabound[0].cElements) - 1;
  return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type) {
  if (array == nullptr || type == nullptr) return E_INVALIDARG;
  *type = RecordOf(array)->elementType;
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** destination) {
  if (destination == nullptr) return E_INVALIDARG;
  *destination = nullptr;
  if (source == nullptr) return S_OK;
  VARTYPE type = RecordOf(source)->elementType;
  ULONG count = source->rgsabound[0].cElements;
  SAFEARRAY* copy = SafeArrayCreateVector(type, source->rgsabound[0].lLbound, count);
  if (copy == nullptr) return E_OUTOFMEMORY;
  if (type == VT_BSTR) {
    auto* from = static_cast<BSTR*>(source->pvData);
    auto* to = static_cast<BSTR*>(copy->pvData);
    for (ULONG i = 0; i < count; ++i) {
      if (from[i] == nullptr) continue;
      to[i] = SysAllocStringLen(from[i], SysStringLen(from[i]));
      if (to[i] == nullptr) {
        FreeArray(copy);
        return E_OUTOFMEMORY;
      }
    }
  } else if (type == VT_VARIANT) {
    auto* from = static_cast<VARIANT*>(source->pvData);
    auto* to = static_cast<VARIANT*>(copy->pvData);
    for (ULONG i = 0; i < count; ++i) {
      HRESULT result = VariantCopy(&to[i], &from[i]);
      if (FAILED(result)) {
        FreeArray(copy);
        return result;
      }
    }
  } else if (type == VT_UNKNOWN || type == VT_DISPATCH) {
    auto* from = static_cast<IUnknown**>(source->pvData);
    auto* to = static_cast<IUnknown**>(copy->pvData);
    for (ULONG i = 0; i < count; ++i) {
      to[i] = from[i];
      if (to[i] != nullptr) to[i]->AddRef();
    }
  } else {
    std::memcpy(copy->pvData, source->pvData, std::size_t{count} * source->cbElements);
  }
  *destination = copy;
  return S_OK;
}
