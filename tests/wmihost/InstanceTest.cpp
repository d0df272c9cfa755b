// __NAMESPACE instances: opened by path, created with PutInstance, deleted with their subtree.
#include "tests/wmihost/HostFixture.h"

namespace tessarwick::testing {
namespace {

using InstanceTest = HostTest;

TEST_F(InstanceTest, APutNamespaceInstanceCreatesAChildThatInheritsAndReturnsItsPath) {
  ComPtr<IWbemServices> root = Connect(L"root");
  ASSERT_EQ(WriteSddl(root.get(), L"O:BAG:BAD:(A;CI;CC;;;WD)(A;;RC;;;BU)"), 0);
  ComPtr<IWbemServices> ccm = Connect(L"root\\CCM");
  UniqueBstr className = Bstr(L"__NAMESPACE");
  ComPtr<IWbemClassObject> namespaceClass;
  ASSERT_EQ(ccm->GetObject(className.get(), 0, nullptr, namespaceClass.put(), nullptr), S_OK);
  ComPtr<IWbemClassObject> instance;
  ASSERT_EQ(namespaceClass->SpawnInstance(0, instance.put()), S_OK);
  UniqueVariant name;
  name->vt = VT_BSTR;
  name->bstrVal = SysAllocString(L"Inventory");
  ASSERT_EQ(instance->Put(L"Name", 0, name.get(), 0), S_OK);
  ComPtr<IWbemCallResult> result;
  ASSERT_EQ(ccm->PutInstance(instance.get(), WBEM_FLAG_CREATE_OR_UPDATE, nullptr, result.put()), S_OK);
  UniqueBstr path;
  ASSERT_EQ(result->GetResultString(static_cast<LONG>(WBEM_INFINITE), path.put()), S_OK);
  EXPECT_EQ(std::wstring(path.get()), L"__NAMESPACE.Name=\"Inventory\"");

  EXPECT_EQ(ChildNames(ccm.get()), (std::vector<std::wstring>{L"Policy", L"SoftwareUpdates", L"Inventory"}));
  EXPECT_EQ(ReadSddl(Connect(L"root\\CCM\\Inventory").get()), L"O:BAG:BAD:(A;CIID;CC;;;WD)");
  EXPECT_EQ(ccm->PutInstance(instance.get(), WBEM_FLAG_CREATE_ONLY, nullptr, nullptr),
            static_cast<HRESULT>(WBEM_E_ALREADY_EXISTS));

  ComPtr<IWbemClassObject> opened;
  ASSERT_EQ(ccm->GetObject(path.get(), 0, nullptr, opened.put(), nullptr), S_OK);
  UniqueVariant relativePath;
  ASSERT_EQ(opened->Get(L"__RELPATH", 0, relativePath.get(), nullptr, nullptr), S_OK);
  EXPECT_EQ(std::wstring(relativePath->bstrVal), L"__NAMESPACE.Name=\"Inventory\"");
}

TEST_F(InstanceTest, DeletingANamespaceInstanceRemovesItsSubtree) {
  ComPtr<IWbemServices> root = Connect(L"root");
  UniqueBstr path = Bstr(L"__NAMESPACE.Name=\"cimv2\"");
  ASSERT_EQ(root->DeleteInstance(path.get(), 0, nullptr, nullptr), S_OK);
  EXPECT_EQ(ChildNames(root.get()),
            (std::vector<std::wstring>{L"subscription", L"DEFAULT", L"Cli", L"SECURITY", L"WMI", L"Interop", L"CCM"}));
  ComPtr<IWbemServices> gone;
  EXPECT_EQ(Connect(L"root\\CIMV2\\Security", gone), static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE));
  EXPECT_EQ(root->DeleteInstance(path.get(), 0, nullptr, nullptr), static_cast<HRESULT>(WBEM_E_NOT_FOUND));
  ComPtr<IWbemClassObject> object;
  EXPECT_EQ(root->GetObject(path.get(), 0, nullptr, object.put(), nullptr), static_cast<HRESULT>(WBEM_E_NOT_FOUND));
  UniqueBstr malformed = Bstr(L"__NAMESPACE.Name=\"unterminated");
  EXPECT_EQ(root->DeleteInstance(malformed.get(), 0, nullptr, nullptr),
            static_cast<HRESULT>(WBEM_E_INVALID_OBJECT_PATH));
}

}  // namespace
}  // namespace tessarwick::testing
