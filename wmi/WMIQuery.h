// CWMIQuery: one connection to one WMI namespace, with the WMI context that travels with its
// calls. Through it a caller connects, runs a WQL query, walks the results one object at a time,
// reads their properties, and opens, creates, writes back and deletes single instances.
//
// Every operation reports the same way. A failing WMI call prints one message of its own, keeps
// the WBEM status name of the failure as the last error text and returns the HRESULT; a few
// calls (the proxy blanket, the enumerator's Next, Clone, SpawnInstance, GetResultString) fail
// silently with only their HRESULT. A missing precondition (no locator, no services, no
// enumerator, no current result, no opened instance) returns E_FAIL without a message and
// changes nothing. Callers print nothing more for a failure the object has already reported.
//
// Ownership: the object holds one reference on each interface it keeps and releases it exactly
// once. The pointer getters (GetServices, GetInstance, GetCurrentObject, GetContext) hand out
// the member itself without adding a reference: the caller neither releases it nor uses it
// after a later operation or the destruction of the object has replaced or released it.
// The namespace, user and password given to Connect are borrowed: the object keeps the caller's
// pointers and never frees them, so they must outlive any later Connect without a namespace.
//
// Objects are made with new and ended with delete; the class has no base class, and every
// operation is virtual. It is meant for one thread, in the multithreaded apartment.
#pragma once

#include "common/WideString.h"
#include "platform/ComPtr.h"
#include "platform/Platform.h"

namespace tessarwick {

class CWMIQuery {
 public:
  // Makes the WMI locator; when that fails it prints "CWMIQuery::Init - " with the system text,
  // and every operation that needs the locator or the services then returns E_FAIL.
  CWMIQuery();
  virtual ~CWMIQuery();

  CWMIQuery(const CWMIQuery&) = delete;
  CWMIQuery& operator=(const CWMIQuery&) = delete;

  // Connects to the namespace (or to "root\default" when it is null, with the user and password
  // of an earlier Connect that named one) and sets the proxy security on the connection.
  virtual HRESULT Connect(BSTR nameSpace, BSTR user, BSTR password);
  // Runs a WQL query; the previous enumerator and current result are dropped first.
  virtual HRESULT Query(BSTR queryText, LONG flags);
  // Writes the opened instance back and ends it; keeps the object path the service returned.
  virtual HRESULT Flush();
  // Reads a property of the opened instance, or else of the current result.
  virtual HRESULT GetProperty(LPCWSTR name, VARIANT* value);
  // Sets a property of the opened instance.
  virtual HRESULT SetProperty(LPCWSTR name, VARIANT* value);
  // Fetch the next result of the query; neither rewinds the enumerator.
  virtual HRESULT MoveFirst();
  virtual HRESULT MoveNext();
  // Counts the remaining results by fetching them all.
  virtual LONG GetCount();
  virtual HRESULT OpenInstance(BSTR objectPath);
  virtual HRESULT CloseInstance();
  virtual HRESULT DeleteInstance(BSTR objectPath);
  // Spawns a new instance of the class as the opened instance.
  virtual HRESULT CreateInstance(BSTR classPath);
  virtual IWbemServices* GetServices();
  virtual IWbemClassObject* GetInstance();
  virtual IWbemClassObject* GetCurrentObject();
  virtual IWbemContext* GetContext();
  virtual WideString GetLastErrorText();
  // Makes the context (or reuses it) and sets "LocaleID", "MachineName" and "ApplicationName".
  virtual bool InitContext();
  virtual WideString GetLastObjectPath();

 private:
  void KeepLastError(HRESULT status);

  ComPtr<IEnumWbemClassObject> m_pEnum;
  ComPtr<IWbemClassObject> m_pObject;
  ComPtr<IWbemClassObject> m_pInstance;
  ComPtr<IWbemLocator> m_pLocator;
  ComPtr<IWbemServices> m_pServices;
  ComPtr<IWbemContext> m_pContext;
  BSTR m_bstrUser = nullptr;
  BSTR m_bstrPassword = nullptr;
  BSTR m_bstrNamespace = nullptr;
  LONG m_nCount = 0;
  LONG m_lQueryFlags = 0;
  WideString m_strLastObjectPath;
  WideString m_strLastError;
};

}  // namespace tessarwick
