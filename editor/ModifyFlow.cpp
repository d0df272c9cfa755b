#include "editor/ModifyFlow.h"

#include <cstring>
#include <memory>

#include "common/NamespacePath.h"
#include "common/NamespaceTarget.h"
#include "editor/TrusteeLookup.h"
#include "platform/ComPtr.h"
#include "platform/Output.h"
#include "platform/UniqueAny.h"
#include "wmi/ErrorText.h"
#include "wmi/SystemSecurity.h"
#include "wmi/WMIQuery.h"

namespace tessarwick {

std::size_t DaclEntriesEnd(const WideString& sddl) {
  const wchar_t* text = sddl.Text();
  const std::size_t length = sddl.Length();
  int depth = 0;
  bool quoted = false;
  for (std::size_t index = 0; index < length; ++index) {
    const wchar_t character = text[index];
    if (depth > 0 && character == L'"') {
      quoted = !quoted;
    } else if (quoted) {
      continue;
    } else if (character == L'(') {
      ++depth;
    } else if (character == L')') {
      if (depth > 0) --depth;
    } else if (depth == 0 && character == L':' && index > 0 && text[index - 1] == L'S') {
      return index - 1;
    }
  }
  return length;
}

WideString InsertDaclEntry(const WideString& sddl, const WideString& aceText) {
  const std::size_t end = DaclEntriesEnd(sddl);
  WideStringBuilder builder;
  builder.Append(sddl.Text(), end);
  builder.Append(L"(");
  builder.Append(aceText);
  builder.Append(L")");
  builder.Append(sddl.Text() + end, sddl.Length() - end);
  return builder.Build();
}

void CNamespaceTarget::ModifyNamespaceSecurity(WideString computer, WideString trustee, bool allowAce,
                                               std::uint32_t accessMask, bool addRights) {
  // The SID comes from this computer's security authority, also when the namespace is remote.
  WideString sidText;
  if (FAILED(LookupTrusteeSid(trustee, sidText))) return;

  if (!computer.IsAbsent() && !computer.IsEmpty()) Namespace = BuildNamespacePath(computer, Namespace);

  // Everything obtained below is declared after the connection, so it is all released before
  // the connection ends, on every path.
  std::unique_ptr<CWMIQuery> query(new CWMIQuery);
  if (!query->InitContext()) return;
  // The query borrows the namespace's text; Namespace is not changed again while it lives.
  if (FAILED(query->Connect(Namespace.Bstr(), nullptr, nullptr))) return;
  // Belongs to the connection: not released here.
  IWbemServices* services = query->GetServices();

  // Object paths and method names are OLE strings made for each call and freed after it.
  ComPtr<IWbemClassObject> classObject;
  HRESULT status = services->GetObject(WideString(L"__SystemSecurity").Bstr(), 0, nullptr, classObject.put(), nullptr);
  if (FAILED(status)) {
    WidePrintf(L"GetObject: Failed, property:%s error:%S\n", L"__SystemSecurity", WbemErrorText(status));
    return;
  }

  ComPtr<IWbemClassObject> outParameters;
  status = services->ExecMethod(WideString(L"__SystemSecurity").Bstr(), WideString(L"GetSD").Bstr(), 0, nullptr,
                                nullptr, outParameters.put(), nullptr);
  if (FAILED(status)) {
    WidePrintf(L"ExecMethod: Failed, method:%s error:%S\n", L"GetSD", WbemErrorText(status));
    return;
  }
  // A method that gives no out-parameters has no ReturnValue to read.
  if (!outParameters) {
    PrintPropertyFailure(L"ReturnValue", WBEM_E_NOT_FOUND);
    return;
  }

  // One variant serves ReturnValue, SD as read and SD as written; reset() clears it before reuse.
  UniqueVariant value;
  status = outParameters->Get(L"ReturnValue", 0, value.get(), nullptr, nullptr);
  if (FAILED(status)) {
    PrintPropertyFailure(L"ReturnValue", status);
    return;
  }
  // A method that ran but refused (access denied, for one) says so only through ReturnValue.
  if (!IsZeroReturnValue(*value.get())) return;

  status = outParameters->Get(L"SD", 0, value.reset(), nullptr, nullptr);
  if (FAILED(status)) {
    PrintPropertyFailure(L"SD", status);
    return;
  }
  WideString descriptorText = DescriptorTextOf(*value.get());
  value.reset();
  outParameters.reset();
  if (descriptorText.IsAbsent()) return;
  WidePrintf(L"%s \n", descriptorText.Text());

  if (addRights)
    descriptorText = InsertDaclEntry(descriptorText, BuildAceString(sidText, allowAce, accessMask));
  else
    descriptorText = RemoveTrusteeRights(sidText, allowAce, accessMask, descriptorText);

  UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
  ULONG descriptorSize = 0;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptorText.Text(), SDDL_REVISION_1, descriptor.put(),
                                                            &descriptorSize)) {
    WidePrintf(L"ConvertStringSecurityDescriptorToSecurityDescriptor - %S\n", SystemErrorText(0));
    return;
  }

  // SetSD's in-parameters class comes with the class object; the out-parameters are not asked for.
  ComPtr<IWbemClassObject> inClass;
  status = classObject->GetMethod(WideString(L"SetSD").Bstr(), 0, inClass.put(), nullptr);
  if (SUCCEEDED(status) && !inClass) status = WBEM_E_INVALID_METHOD_PARAMETERS;
  if (FAILED(status)) {
    WidePrintf(L"GetMethod: Failed, method:%s error:%S\n", L"SetSD", WbemErrorText(status));
    return;
  }

  ComPtr<IWbemClassObject> inParameters;
  status = inClass->SpawnInstance(0, inParameters.put());
  if (FAILED(status)) {
    WidePrintf(L"SpawnInstance: Failed, method:%s error:%S\n", L"SetSD", WbemErrorText(status));
    return;
  }

  // An array that could not be made fails to lock, and is reported as such.
  UniqueSafeArray array(SafeArrayCreateVector(VT_UI1, 0, descriptorSize));
  void* arrayData = nullptr;
  status = SafeArrayAccessData(array.get(), &arrayData);
  if (FAILED(status)) {
    WidePrintf(L"SafeArrayAccessData: Failed, error:%S\n", SystemErrorText(static_cast<DWORD>(status)));
    return;
  }
  std::memcpy(arrayData, descriptor.get(), descriptorSize);
  SafeArrayUnaccessData(array.get());

  // From here the variant owns the array; it is cleared right after the Put, whatever its outcome.
  value.reset()->vt = kByteArray;
  value->parray = array.release();
  status = inParameters->Put(L"SD", 0, value.get(), 0);
  value.reset();
  if (FAILED(status)) {
    WidePrintf(L"PutProperty: Failed, property:%s error:%S\n", L"SD", WbemErrorText(status));
    return;
  }

  status = services->ExecMethod(WideString(L"__SystemSecurity").Bstr(), WideString(L"SetSD").Bstr(), 0, nullptr,
                                inParameters.get(), outParameters.put(), nullptr);
  if (FAILED(status)) {
    WidePrintf(L"ExecMethod: Failed, method:%s error:%S\n", L"SetSD", WbemErrorText(status));
    return;
  }
  if (!outParameters) {
    PrintPropertyFailure(L"ReturnValue", WBEM_E_NOT_FOUND);
    return;
  }

  status = outParameters->Get(L"ReturnValue", 0, value.get(), nullptr, nullptr);
  if (FAILED(status)) {
    PrintPropertyFailure(L"ReturnValue", status);
    return;
  }
  if (!IsZeroReturnValue(*value.get())) return;
  value.reset();
  WidePrintf(L"Write security succeeded on %S for %S.\n", Namespace.Ansi(), trustee.Ansi());
}

}  // namespace tessarwick
