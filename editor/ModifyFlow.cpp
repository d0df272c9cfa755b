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
#include "wmi/WMIQuery.h"

namespace tessarwick {

namespace {

// Owner, group, DACL and SACL: the whole descriptor, as GetSD hands it out.
constexpr DWORD kAllSecurityInformation =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;

constexpr VARTYPE kByteArray = VT_ARRAY | VT_UI1;

void PrintPropertyFailure(const wchar_t* property, HRESULT status) {
  WidePrintf(L"GetProperty: Failed, property:%s error:%S\n", property, WbemErrorText(status));
}

// The uint32 ReturnValue of a __SystemSecurity method arrives as a 32-bit integer. A value of any
// other type is not a success: it is read as a refusal, which ends the operation with no write.
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

// The SDDL text of the descriptor bytes that GetSD put in SD, printed as the current text; an
// absent string when there is none. The conversion is handed only a pointer, so a value that is
// not a byte array, or an empty one, is reported as the property that failed to give a descriptor
// and never converted.
WideString ReadDescriptorText(const VARIANT& sd) {
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
  } else if (ConvertSecurityDescriptorToStringSecurityDescriptorW(static_cast<PSECURITY_DESCRIPTOR>(bytes),
                                                                  SDDL_REVISION_1, kAllSecurityInformation, sddl.put(),
                                                                  nullptr)) {
    WidePrintf(L"%s \n", sddl.get());
  } else {
    // Printed before anything else runs, while the thread's last error is still the conversion's.
    WidePrintf(L"ConvertSecurityDescriptorToStringSecurityDescriptor - %S\n", SystemErrorText(0));
  }
  SafeArrayUnaccessData(array);
  // The copy is the program's own; the service's buffer goes back at once.
  return WideString(sddl.get());
}

}  // namespace

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
  WideString descriptorText = ReadDescriptorText(*value.get());
  value.reset();
  outParameters.reset();
  if (descriptorText.IsAbsent()) return;

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
