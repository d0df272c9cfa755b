// ConnectServer, queries and the objects of a connection.
#include "tests/wmihost/HostFixture.h"

namespace tessarwick::testing {
namespace {

using ConnectionTest = HostTest;

TEST_F(ConnectionTest, PathsReachTheComputerAndNamespaceTheyName) {
  WriteHostFile(
      R"json({"tessarwickHost": 1, "computers": [{"name": "SRV1", "namespaces": {"name": "root", "descriptor": "O:SYG:SYD:(A;CI;CC;;;WD)", "children": [{"name": "Remote"}]}}]})json");
  std::wstring local = wmihost::LocalComputerName();
  struct Row {
    std::wstring path;
    HRESULT expected;
  };
  const Row rows[] = {
      {L"root\\CIMV2", S_OK},
      {L"\\\\.\\root\\CIMV2", S_OK},
      {L"//./root/cimv2", S_OK},
      {L"\\\\" + local + L"\\root\\CCM", S_OK},
      {L"\\\\srv1\\ROOT\\remote", S_OK},
      {L"\\\\SRV1\\root\\CIMV2", static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE)},
      {L"\\\\NOSUCHHOST\\root", static_cast<HRESULT>(0x800706BAu)},
      {L"root\\NoSuchNamespace", static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE)},
      {L"cimv2", static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE)},
      {L"root\\\\CIMV2", static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE)},
      {L"\\\\.\\", static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE)},
      {L"", static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE)},
  };
  for (const Row& row : rows) {
    ComPtr<IWbemServices> services;
    EXPECT_EQ(Connect(row.path.c_str(), services), row.expected) << ::testing::PrintToString(row.path);
    EXPECT_EQ(static_cast<bool>(services), row.expected == S_OK) << ::testing::PrintToString(row.path);
  }
  EXPECT_EQ(ReadSddl(Connect(L"\\\\SRV1\\root\\Remote").get()), L"O:SYG:SYD:(A;CIID;CC;;;WD)");
}

TEST_F(ConnectionTest, ConnectServerRecordsWhatItWasGivenAndRefusesCredentialsLocally) {
  ComPtr<IWbemLocator> locator;
  ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void()),
            S_OK);
  UniqueBstr resource = Bstr(L"root\\default");
  UniqueBstr user = Bstr(L"someone");
  ComPtr<IWbemServices> services;
  EXPECT_EQ(locator->ConnectServer(resource.get(), user.get(), nullptr, nullptr, 0, nullptr, nullptr, services.put()),
            static_cast<HRESULT>(WBEM_E_LOCAL_CREDENTIALS));
  EXPECT_EQ(locator->ConnectServer(nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put()),
            static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER));
  EXPECT_EQ(locator->ConnectServer(resource.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put()),
            S_OK);
  std::vector<wmihost::ConnectRecord> connects = wmihost::RecordedConnects();
  ASSERT_EQ(connects.size(), 3u);
  EXPECT_TRUE(connects[0].userGiven);
  EXPECT_FALSE(connects[1].resourceGiven);
  EXPECT_EQ(connects[2].resource, L"root\\default");
  EXPECT_FALSE(connects[2].userGiven || connects[2].passwordGiven || connects[2].localeGiven ||
               connects[2].authorityGiven || connects[2].contextGiven);
  EXPECT_EQ(connects[2].result, S_OK);
}

TEST_F(ConnectionTest, OnlyTheNamespaceQueryIsUnderstood) {
  ComPtr<IWbemServices> root = Connect(L"root");
  struct Row {
    const wchar_t* language;
    const wchar_t* query;
    HRESULT expected;
  };
  const Row rows[] = {
      {L"WQL", L"select * from __namespace", S_OK},
      {L"wql", L"  SELECT   *FROM\t__NAMESPACE ", S_OK},
      {L"WQL", L"SELECT * FROM Win32_Process", static_cast<HRESULT>(WBEM_E_INVALID_QUERY)},
      {L"WQL", L"SELECT Name FROM __NAMESPACE", static_cast<HRESULT>(WBEM_E_INVALID_QUERY)},
      {L"WQL", L"SELECT * FROM __NAMESPACE WHERE Name='CCM'", static_cast<HRESULT>(WBEM_E_INVALID_QUERY)},
      {L"SQL", L"SELECT * FROM __NAMESPACE", static_cast<HRESULT>(WBEM_E_INVALID_QUERY_TYPE)},
  };
  for (const Row& row : rows) {
    UniqueBstr language = Bstr(row.language);
    UniqueBstr query = Bstr(row.query);
    ComPtr<IEnumWbemClassObject> results;
    EXPECT_EQ(root->ExecQuery(language.get(), query.get(), 0, nullptr, results.put()), row.expected)
        << ::testing::PrintToString(std::wstring(row.query));
  }
}

TEST_F(ConnectionTest, AForwardOnlyEnumeratorCannotRewindAndEndsWithFalse) {
  ComPtr<IWbemServices> cimv2 = Connect(L"root\\CIMV2");
  UniqueBstr language = Bstr(L"WQL");
  UniqueBstr query = Bstr(L"SELECT * FROM __NAMESPACE");
  ComPtr<IEnumWbemClassObject> results;
  ASSERT_EQ(cimv2->ExecQuery(language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY, nullptr, results.put()), S_OK);
  IWbemClassObject* objects[3] = {};
  ULONG returned = 0;
  EXPECT_EQ(results->Next(static_cast<LONG>(WBEM_INFINITE), 3, objects, &returned), static_cast<HRESULT>(WBEM_S_FALSE));
  EXPECT_EQ(returned, 2u);
  for (ULONG i = 0; i < returned; ++i) objects[i]->Release();
  EXPECT_EQ(results->Next(static_cast<LONG>(WBEM_INFINITE), 1, objects, &returned), static_cast<HRESULT>(WBEM_S_FALSE));
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(results->Reset(), static_cast<HRESULT>(WBEM_E_INVALID_OPERATION));
}

TEST_F(ConnectionTest, ClassObjectsKeepTypesAndRefuseWhatTheyDoNotHold) {
  ComPtr<IWbemServices> root = Connect(L"root");
  UniqueBstr path = Bstr(L"__systemsecurity");
  ComPtr<IWbemClassObject> systemSecurity;
  ASSERT_EQ(root->GetObject(path.get(), 0, nullptr, systemSecurity.put(), nullptr), S_OK);
  ComPtr<IWbemClassObject> inClass;
  ComPtr<IWbemClassObject> outClass;
  EXPECT_EQ(systemSecurity->GetMethod(L"GetSD", 0, inClass.put(), outClass.put()), S_OK);
  EXPECT_FALSE(inClass);
  EXPECT_TRUE(outClass);
  EXPECT_EQ(systemSecurity->GetMethod(L"NoSuchMethod", 0, inClass.put(), nullptr),
            static_cast<HRESULT>(WBEM_E_NOT_FOUND));
  ASSERT_EQ(systemSecurity->GetMethod(L"SetSD", 0, inClass.put(), nullptr), S_OK);
  ComPtr<IWbemClassObject> in;
  ASSERT_EQ(inClass->SpawnInstance(0, in.put()), S_OK);

  UniqueVariant text;
  text->vt = VT_BSTR;
  text->bstrVal = SysAllocString(L"O:BA");
  EXPECT_EQ(in->Put(L"SD", 0, text.get(), 0), static_cast<HRESULT>(WBEM_E_TYPE_MISMATCH));
  EXPECT_EQ(in->Put(L"Other", 0, text.get(), 0), static_cast<HRESULT>(WBEM_E_NOT_FOUND));
  EXPECT_EQ(in->Put(L"__CLASS", 0, text.get(), 0), static_cast<HRESULT>(WBEM_E_READ_ONLY));
  UniqueVariant value;
  CIMTYPE type = 0;
  ASSERT_EQ(in->Get(L"SD", 0, value.get(), &type, nullptr), S_OK);
  EXPECT_EQ(value->vt, VT_NULL);
  EXPECT_EQ(type, CIM_UINT8 | CIM_FLAG_ARRAY);
  EXPECT_EQ(in->Get(L"Missing", 0, value.reset(), nullptr, nullptr), static_cast<HRESULT>(WBEM_E_NOT_FOUND));
  ASSERT_EQ(in->Get(L"__CLASS", 0, value.reset(), nullptr, nullptr), S_OK);
  EXPECT_EQ(std::wstring(value->bstrVal), L"__PARAMETERS");

  // What the stand-in does not implement says so.
  BSTR objectText = nullptr;
  EXPECT_EQ(systemSecurity->GetObjectText(0, &objectText), static_cast<HRESULT>(WBEM_E_NOT_SUPPORTED));
  ComPtr<IWbemServices> other;
  UniqueBstr name = Bstr(L"CIMV2");
  EXPECT_EQ(root->OpenNamespace(name.get(), 0, nullptr, other.put(), nullptr),
            static_cast<HRESULT>(WBEM_E_NOT_SUPPORTED));
  UniqueBstr method = Bstr(L"GetCallerAccessRights");
  ComPtr<IWbemClassObject> out;
  EXPECT_EQ(root->ExecMethod(path.get(), method.get(), 0, nullptr, nullptr, out.put(), nullptr),
            static_cast<HRESULT>(WBEM_E_NOT_SUPPORTED));
}

TEST_F(ConnectionTest, ClassesAreMadeOnlyAfterComStartsAndOnlyInProcess) {
  ComPtr<IWbemContext> context;
  EXPECT_EQ(CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_LOCAL_SERVER, IID_IWbemContext, context.put_void()),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, context.put_void()),
            E_NOINTERFACE);
  ASSERT_EQ(CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemContext, context.put_void()),
            S_OK);
  UniqueVariant value;
  value->vt = VT_I4;
  value->lVal = 7;
  EXPECT_EQ(context->SetValue(L"Depth", 0, value.get()), S_OK);
  EXPECT_EQ(context->GetValue(L"DEPTH", 0, value.reset()), S_OK);
  EXPECT_EQ(value->lVal, 7);
  EXPECT_EQ(context->GetValue(L"Other", 0, value.reset()), static_cast<HRESULT>(WBEM_E_NOT_FOUND));
  // CoSetProxyBlanket applies only to the service's proxies.
  EXPECT_EQ(CoSetProxyBlanket(context.get(), 10, 0, nullptr, 4, 3, nullptr, 0), E_NOINTERFACE);
}

}  // namespace
}  // namespace tessarwick::testing
