#include "viewer/SecurityDescriptorPrint.h"

#include "platform/ComPtr.h"
#include "platform/Output.h"
#include "platform/UniqueAny.h"
#include "wmi/ErrorText.h"

namespace tessarwick {

namespace {

// Owner, group, DACL and SACL: the whole descriptor, as GetSD hands it out.
constexpr DWORD kAllSecurityInformation =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;

constexpr VARTYPE kByteArray = VT_ARRAY | VT_UI1;

void PrintPropertyFailure(const wchar_t* property, HRESULT status) {
  WidePrintf(L"GetProperty: Failed, property:%s error:%S\n", property, WbemErrorText(status));
}

// Converts the descriptor bytes of SD and prints the text. The conversion is given only a pointer,
// so an SD that is not a byte array, or an empty one, is reported as the property read that
// failed to give a descriptor rather than handed on.
void PrintDescriptorText(const VARIANT& sd) {
  if (sd.vt != kByteArray || sd.parray == nullptr) {
    PrintPropertyFailure(L"SD", WBEM_E_TYPE_MISMATCH);
    return;
  }
  SAFEARRAY* array = sd.parray;
  void* bytes = nullptr;
  HRESULT status = SafeArrayAccessData(array, &bytes);
  if (FAILED(status)) {
    PrintPropertyFailure(L"SD", status);
    return;
  }
  LONG lowerBound = 0;
  LONG upperBound = -1;
  SafeArrayGetLBound(array, 1, &lowerBound);
  SafeArrayGetUBound(array, 1, &upperBound);
  if (bytes == nullptr || upperBound < lowerBound) {
    PrintPropertyFailure(L"SD", WBEM_E_INVALID_PARAMETER);
  } else {
    UniqueLocal<LPWSTR> sddl;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(static_cast<PSECURITY_DESCRIPTOR>(bytes), SDDL_REVISION_1,
                                                             kAllSecurityInformation, sddl.put(), nullptr))
      WidePrintf(L"%s \n\n", sddl.get());
    else
      WidePrintf(L"ConvertSecurityDescriptorToStringSecurityDescriptor - %S\n", SystemErrorText(0));
  }
  SafeArrayUnaccessData(array);
}

}  // namespace

void PrintSecurityDescriptor(CWMIQuery& query, const WideString& objectPath) {
  // Borrowed from the query: not released here.
  IWbemServices* services = query.GetServices();
  if (services == nullptr) return;

  ComPtr<IWbemClassObject> classObject;
  HRESULT status = services->GetObject(objectPath.Bstr(), 0, nullptr, classObject.put(), nullptr);
  if (FAILED(status)) {
    WidePrintf(L"GetObject: Failed, property:%s error:%S\n", objectPath.Text(), WbemErrorText(status));
    return;
  }

  UniqueBstr methodName(SysAllocString(L"GetSD"));
  ComPtr<IWbemClassObject> outParameters;
  status = services->ExecMethod(objectPath.Bstr(), methodName.get(), 0, nullptr, nullptr, outParameters.put(), nullptr);
  if (FAILED(status)) {
    WidePrintf(L"ExecMethod: Failed, method:%s error:%S\n", methodName.get(), WbemErrorText(status));
    return;
  }

  UniqueVariant value;
  status = outParameters->Get(L"ReturnValue", 0, value.get(), nullptr, nullptr);
  if (FAILED(status)) {
    PrintPropertyFailure(L"ReturnValue", status);
    return;
  }
  // A method that ran but refused (access denied, for one) says so only through ReturnValue,
  // and the walk prints nothing for it.
  if (value->lVal != 0) return;

  status = outParameters->Get(L"SD", 0, value.reset(), nullptr, nullptr);
  if (FAILED(status)) {
    PrintPropertyFailure(L"SD", status);
    return;
  }
  PrintDescriptorText(*value.get());
}

}  // namespace tessarwick
