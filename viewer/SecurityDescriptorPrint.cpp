#include "viewer/SecurityDescriptorPrint.h"

#include "platform/ComPtr.h"
#include "platform/Output.h"
#include "platform/UniqueAny.h"
#include "wmi/ErrorText.h"
#include "wmi/SystemSecurity.h"

namespace tessarwick {

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
  if (!IsZeroReturnValue(*value.get())) return;

  status = outParameters->Get(L"SD", 0, value.reset(), nullptr, nullptr);
  if (FAILED(status)) {
    PrintPropertyFailure(L"SD", status);
    return;
  }
  WideString text = DescriptorTextOf(*value.get());
  if (!text.IsAbsent()) WidePrintf(L"%s \n\n", text.Text());
}

}  // namespace tessarwick
