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
  const WideString objectPath(L"__SystemSecurity");
  ComPtr<IWbemClassObject> classObject;
  WideString descriptorText = ReadSecurityDescriptorText(services, objectPath, classObject);
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
  const WideString setMethod(L"SetSD");
  ComPtr<IWbemClassObject> inClass;
  HRESULT status = classObject->GetMethod(setMethod.Bstr(), 0, inClass.put(), nullptr);
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

  // One variant serves SD as written and ReturnValue; reset() clears it before reuse. From here it
  // owns the array, and it is cleared right after the Put, whatever its outcome.
  UniqueVariant value;
  value->vt = kByteArray;
  value->parray = array.release();
  status = inParameters->Put(L"SD", 0, value.get(), 0);
  value.reset();
  if (FAILED(status)) {
    WidePrintf(L"PutProperty: Failed, property:%s error:%S\n", L"SD", WbemErrorText(status));
    return;
  }

  ComPtr<IWbemClassObject> outParameters;
  status = services->ExecMethod(objectPath.Bstr(), setMethod.Bstr(), 0, nullptr, inParameters.get(),
                                outParameters.put(), nullptr);
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
