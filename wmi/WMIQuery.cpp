#include "wmi/WMIQuery.h"

#include "platform/Output.h"
#include "platform/UniqueAny.h"
#include "wmi/ErrorText.h"

namespace tessarwick {

namespace {

// The proxy security of every connection and of its query enumerators: NTLM authentication,
// packet integrity and impersonation, so that the service acts as the caller on a remote computer.
HRESULT SetWmiProxyBlanket(IUnknown* proxy) {
  return CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

// SetValue copies the variant, so the string is freed here whatever the service did with it.
void SetContextText(IWbemContext* context, LPCWSTR name, const wchar_t* text) {
  UniqueVariant value;
  value->vt = VT_BSTR;
  value->bstrVal = SysAllocString(text);
  context->SetValue(name, 0, value.get());
}

// The size of the computer-name buffer in wide characters: a NetBIOS name and its terminator.
constexpr DWORD kComputerNameCapacity = 16;

}  // namespace

CWMIQuery::CWMIQuery() {
  HRESULT status =
      CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, m_pLocator.put_void());
  if (!m_pLocator) WidePrintf(L"CWMIQuery::Init - %S\n", SystemErrorText(static_cast<DWORD>(status)));
}

CWMIQuery::~CWMIQuery() {
  // The order in which the service sees its objects go: results first, the connection last.
  m_pEnum.reset();
  m_pObject.reset();
  m_pInstance.reset();
  m_pLocator.reset();
  m_pContext.reset();
  m_pServices.reset();
  m_strLastError = WideString();
  m_strLastObjectPath = WideString();
}

void CWMIQuery::KeepLastError(HRESULT status) { m_strLastError = WideString::FromAnsi(WbemErrorText(status)); }

bool CWMIQuery::InitContext() {
  if (!m_pContext) {
    HRESULT status =
        CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemContext, m_pContext.put_void());
    if (FAILED(status)) {
      m_pContext.reset();
      return false;
    }
  }

  // The name is sent as it came back; whether GetComputerNameW succeeded is not looked at, and
  // the zeroed buffer then sends an empty name.
  wchar_t computerName[kComputerNameCapacity] = {};
  DWORD size = kComputerNameCapacity;
  GetComputerNameW(computerName, &size);

  // "MS\0x409" with a real backslash: the form in which WMI names the English (US) locale.
  SetContextText(m_pContext.get(), L"LocaleID", L"MS\\0x409");
  SetContextText(m_pContext.get(), L"MachineName", computerName);
  SetContextText(m_pContext.get(), L"ApplicationName", L"Tessarwick");
  return true;
}

HRESULT CWMIQuery::Connect(BSTR nameSpace, BSTR user, BSTR password) {
  if (!m_pLocator) return E_FAIL;

  UniqueBstr defaultNamespace;
  BSTR target = nameSpace;
  if (nameSpace != nullptr) {
    m_bstrNamespace = nameSpace;
    m_bstrUser = user;
    m_bstrPassword = password;
  } else {
    defaultNamespace.reset(SysAllocString(L"root\\default"));
    target = defaultNamespace.get();
  }

  HRESULT status =
      m_pLocator->ConnectServer(target, m_bstrUser, m_bstrPassword, nullptr, 0, nullptr, nullptr, m_pServices.put());
  if (FAILED(status)) {
    m_pServices.reset();
    KeepLastError(status);
    WidePrintf(L"CWMIQuery::Connect: Failed connecting to namespace:%s, error:%S\n", nameSpace, WbemErrorText(status));
    return status;
  }
  // A failed blanket leaves the connection held and is reported only through the result.
  return SetWmiProxyBlanket(m_pServices.get());
}

HRESULT CWMIQuery::Query(BSTR queryText, LONG flags) {
  if (!m_pServices) return E_FAIL;

  m_lQueryFlags = flags;
  m_pEnum.reset();
  m_pObject.reset();

  UniqueBstr language(SysAllocString(L"WQL"));
  HRESULT status = m_pServices->ExecQuery(language.get(), queryText, m_lQueryFlags, m_pContext.get(), m_pEnum.put());
  if (FAILED(status)) {
    m_pEnum.reset();
    KeepLastError(status);
    WidePrintf(L"CWMIQuery::Query: Failed executing query:%s, error:%S", queryText, WbemErrorText(status));
    return status;
  }
  // The enumerator is a proxy of its own and needs the connection's security as well; an
  // object that only ever connected to the default namespace leaves it as it came.
  if (m_bstrNamespace != nullptr) return SetWmiProxyBlanket(m_pEnum.get());
  return status;
}

HRESULT CWMIQuery::MoveFirst() {
  if (!m_pEnum) return E_FAIL;

  // The end of the results and a failed enumeration both come back as "nothing returned".
  ComPtr<IWbemClassObject> fetched;
  ULONG returned = 0;
  m_pEnum->Next(WBEM_INFINITE, 1, fetched.put(), &returned);
  if (returned == 0 || !fetched) return E_FAIL;

  m_pObject.reset();
  return fetched->Clone(m_pObject.put());
}

HRESULT CWMIQuery::MoveNext() {
  if (!m_pEnum || !m_pObject) return E_FAIL;
  return MoveFirst();
}

LONG CWMIQuery::GetCount() {
  m_nCount = 0;
  if (FAILED(MoveFirst())) return 0;
  m_nCount = 1;
  while (SUCCEEDED(MoveNext())) ++m_nCount;
  return m_nCount;
}

HRESULT CWMIQuery::GetProperty(LPCWSTR name, VARIANT* value) {
  if (!m_pServices) return E_FAIL;

  IWbemClassObject* source = nullptr;
  if (m_pInstance)
    source = m_pInstance.get();
  else if (m_pEnum && m_pObject)
    source = m_pObject.get();
  else
    return E_FAIL;

  VariantClear(value);
  HRESULT status = source->Get(name, 0, value, nullptr, nullptr);
  if (FAILED(status)) {
    KeepLastError(status);
    WidePrintf(L"CWMIQuery::GetProperty: Failed, property:%s error:%S\n", name, WbemErrorText(status));
  }
  return status;
}

HRESULT CWMIQuery::SetProperty(LPCWSTR name, VARIANT* value) {
  if (!m_pServices || !m_pInstance) return E_FAIL;

  HRESULT status = m_pInstance->Put(name, 0, value, 0);
  if (FAILED(status)) {
    KeepLastError(status);
    WidePrintf(L"CWMIQuery::SetProperty: Failed, property:%s error:%S", name, WbemErrorText(status));
  }
  return status;
}

// OpenInstance and CreateInstance ask for no call result: nothing they do would read it.
HRESULT CWMIQuery::OpenInstance(BSTR objectPath) {
  if (!m_pServices) return E_FAIL;

  m_pInstance.reset();
  HRESULT status = m_pServices->GetObject(objectPath, 0, m_pContext.get(), m_pInstance.put(), nullptr);
  if (FAILED(status)) {
    m_pInstance.reset();
    KeepLastError(status);
    WidePrintf(L"CWMIQuery::OpenInstance: Failed, object:%s error:%S\n", objectPath, WbemErrorText(status));
  }
  return status;
}

HRESULT CWMIQuery::CloseInstance() {
  if (!m_pInstance) return E_FAIL;
  m_pInstance.reset();
  return S_OK;
}

HRESULT CWMIQuery::DeleteInstance(BSTR objectPath) {
  if (!m_pServices) return E_FAIL;

  HRESULT status = m_pServices->DeleteInstance(objectPath, 0, m_pContext.get(), nullptr);
  if (FAILED(status)) {
    KeepLastError(status);
    WidePrintf(L"CWMIQuery::DeleteInstance: Failed, objectpath:%s error:%S", objectPath, WbemErrorText(status));
  }
  return status;
}

HRESULT CWMIQuery::CreateInstance(BSTR classPath) {
  if (!m_pServices) return E_FAIL;

  m_pInstance.reset();
  ComPtr<IWbemClassObject> classObject;
  HRESULT status = m_pServices->GetObject(classPath, 0, m_pContext.get(), classObject.put(), nullptr);
  if (FAILED(status)) {
    KeepLastError(status);
    WidePrintf(L"CWMIQuery::CreateInstance: Failed, object:%s error:%S", classPath, m_strLastError.Ansi());
    return status;
  }
  // A failed spawn is reported only through the result.
  return classObject->SpawnInstance(0, m_pInstance.put());
}

HRESULT CWMIQuery::Flush() {
  // Emptied before anything is tested: after any Flush the path is present, if only empty.
  m_strLastObjectPath = WideString(L"");
  if (!m_pServices || !m_pInstance) return E_FAIL;

  ComPtr<IWbemCallResult> callResult;
  HRESULT status =
      m_pServices->PutInstance(m_pInstance.get(), WBEM_FLAG_CREATE_OR_UPDATE, m_pContext.get(), callResult.put());
  if (FAILED(status)) {
    KeepLastError(status);
    WidePrintf(L"T: CWMIQuery::Flush: Failed, error:%S", WbemErrorText(status));
  }
  if (callResult) {
    UniqueBstr objectPath;
    if (SUCCEEDED(callResult->GetResultString(WBEM_INFINITE, objectPath.put())) && objectPath)
      m_strLastObjectPath = WideString(objectPath.get(), SysStringLen(objectPath.get()));
    callResult.reset();
  }
  m_pInstance.reset();
  return status;
}

IWbemServices* CWMIQuery::GetServices() { return m_pServices.get(); }
IWbemClassObject* CWMIQuery::GetInstance() { return m_pInstance.get(); }
IWbemClassObject* CWMIQuery::GetCurrentObject() { return m_pObject.get(); }
IWbemContext* CWMIQuery::GetContext() { return m_pContext.get(); }
WideString CWMIQuery::GetLastErrorText() { return m_strLastError; }
WideString CWMIQuery::GetLastObjectPath() { return m_strLastObjectPath; }

}  // namespace tessarwick
