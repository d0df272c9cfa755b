#include "wmi/SystemSecurity.h"

#include "platform/Output.h"
#include "platform/UniqueAny.h"
#include "wmi/ErrorText.h"

namespace tessarwick {

namespace {
// Owner, group, DACL and SACL: the whole descriptor, as GetSD hands it out.
constexpr DWORD kAllSecurityInformation =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
}  // namespace

void PrintPropertyFailure(const wchar_t* property, HRESULT status) {
  WidePrintf(L"GetProperty: Failed, property:%s error:%S\n", property, WbemErrorText(status));
}

bool IsZeroReturnValue(const VARIANT& value) {
  switch (value.vt) {
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      return value.lVal == 0;
    default:
      return false;
  }
}

WideString DescriptorTextOf(const VARIANT& sd) {
  if (sd.vt != kByteArray || sd.parray == nullptr) {
    PrintPropertyFailure(L"SD", WBEM_E_TYPE_MISMATCH);
    return {};
  }
  SAFEARRAY* array = sd.parray;
  void* bytes = nullptr;
  const HRESULT status = SafeArrayAccessData(array, &bytes);
  if (FAILED(status)) {
    PrintPropertyFailure(L"SD", status);
    return {};
  }
  LONG lowerBound = 0;
  LONG upperBound = -1;
  SafeArrayGetLBound(array, 1, &lowerBound);
  SafeArrayGetUBound(array, 1, &upperBound);
  UniqueLocal<LPWSTR> sddl;
  if (bytes == nullptr || upperBound < lowerBound) {
    PrintPropertyFailure(L"SD", WBEM_E_INVALID_PARAMETER);
  } else if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(static_cast<PSECURITY_DESCRIPTOR>(bytes),
                                                                   SDDL_REVISION_1, kAllSecurityInformation, sddl.put(),
                                                                   nullptr)) {
    // Printed before anything else runs, while the thread's last error is still the conversion's.
    WidePrintf(L"ConvertSecurityDescriptorToStringSecurityDescriptor - %S\n", SystemErrorText(0));
  }
  SafeArrayUnaccessData(array);
  // The copy is the program's own; the service's buffer goes back at once.
  return WideString(sddl.get());
}

WideString ReadSecurityDescriptorText(IWbemServices* services, const WideString& objectPath,
                                      ComPtr<IWbemClassObject>& classObject) {
  HRESULT status = services->GetObject(objectPath.Bstr(), 0, nullptr, classObject.put(), nullptr);
  if (FAILED(status)) {
    WidePrintf(L"GetObject: Failed, property:%s error:%S\n", objectPath.Text(), WbemErrorText(status));
    return {};
  }

  const WideString methodName(L"GetSD");
  ComPtr<IWbemClassObject> outParameters;
  status =
      services->ExecMethod(objectPath.Bstr(), methodName.Bstr(), 0, nullptr, nullptr, outParameters.put(), nullptr);
  if (FAILED(status)) {
    WidePrintf(L"ExecMethod: Failed, method:%s error:%S\n", methodName.Text(), WbemErrorText(status));
    return {};
  }
  // A method that gives no out-parameters has no ReturnValue to read.
  if (!outParameters) {
    PrintPropertyFailure(L"ReturnValue", WBEM_E_NOT_FOUND);
    return {};
  }

  UniqueVariant value;
  status = outParameters->Get(L"ReturnValue", 0, value.get(), nullptr, nullptr);
  if (FAILED(status)) {
    PrintPropertyFailure(L"ReturnValue", status);
    return {};
  }
  // A method that ran but refused (access denied, for one) says so only through ReturnValue.
  if (!IsZeroReturnValue(*value.get())) return {};

  status = outParameters->Get(L"SD", 0, value.reset(), nullptr, nullptr);
  if (FAILED(status)) {
    PrintPropertyFailure(L"SD", status);
    return {};
  }
  return DescriptorTextOf(*value.get());
}

}  // namespace tessarwick
