// CWMIQuery against the WMI service of the platform it runs on: wine's own implementation for the
// Windows build, the embedded default host for the native one. Only what both show is pinned here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/ComPtr.h"
#include "platform/Platform.h"
#include "platform/UniqueAny.h"
#include "wmi/WMIQuery.h"

namespace tessarwick {
namespace {

UniqueBstr MakeBstr(const wchar_t* text) { return UniqueBstr(SysAllocString(text)); }

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(query_->InitContext());
    ASSERT_EQ(query_->Connect(namespace_.get(), nullptr, nullptr), S_OK);
    ASSERT_NE(query_->GetServices(), nullptr);
  }

  UniqueBstr namespace_ = MakeBstr(L"root\\cimv2");
  std::unique_ptr<CWMIQuery> query_ = std::make_unique<CWMIQuery>();
};

TEST_F(ServiceTest, NamespaceQueryGivesChildrenByName) {
  UniqueBstr text = MakeBstr(L"SELECT * FROM __NAMESPACE");
  ASSERT_EQ(query_->Query(text.get(), WBEM_FLAG_FORWARD_ONLY), S_OK);
  // Wine's root\cimv2 has no sub-namespaces, so its enumeration ends at once; a service that has
  // some gives each one's own name as a string.
  HRESULT status = query_->MoveFirst();
  int children = 0;
  while (SUCCEEDED(status)) {
    UniqueVariant name;
    ASSERT_EQ(query_->GetProperty(L"Name", name.get()), S_OK);
    ASSERT_EQ(name->vt, VT_BSTR);
    EXPECT_GT(SysStringLen(name->bstrVal), 0u);
    ++children;
    status = query_->MoveNext();
  }
  EXPECT_EQ(status, E_FAIL) << "after " << children << " children";
  EXPECT_TRUE(query_->GetLastErrorText().IsAbsent());
}

TEST_F(ServiceTest, SystemSecurityGivesTheNamespaceDescriptor) {
  IWbemServices* services = query_->GetServices();
  UniqueBstr objectPath = MakeBstr(L"__SystemSecurity");
  UniqueBstr method = MakeBstr(L"GetSD");

  ComPtr<IWbemClassObject> classObject;
  ASSERT_EQ(services->GetObject(objectPath.get(), 0, nullptr, classObject.put(), nullptr), S_OK);
  ComPtr<IWbemClassObject> out;
  ASSERT_EQ(services->ExecMethod(objectPath.get(), method.get(), 0, nullptr, nullptr, out.put(), nullptr), S_OK);

  UniqueVariant value;
  ASSERT_EQ(out->Get(L"ReturnValue", 0, value.get(), nullptr, nullptr), S_OK);
  ASSERT_EQ(value->lVal, 0);
  ASSERT_EQ(out->Get(L"SD", 0, value.reset(), nullptr, nullptr), S_OK);
  ASSERT_EQ(value->vt, VT_ARRAY | VT_UI1);

  void* bytes = nullptr;
  ASSERT_EQ(SafeArrayAccessData(value->parray, &bytes), S_OK);
  UniqueLocal<LPWSTR> sddl;
  BOOL converted = ConvertSecurityDescriptorToStringSecurityDescriptorW(
      static_cast<PSECURITY_DESCRIPTOR>(bytes), SDDL_REVISION_1,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION,
      sddl.put(), nullptr);
  SafeArrayUnaccessData(value->parray);
  ASSERT_TRUE(converted);
  std::wstring text = sddl.get();
  EXPECT_EQ(text.rfind(L"O:", 0), 0u) << "the owner comes first";
  EXPECT_NE(text.find(L"D:"), std::wstring::npos) << "a namespace descriptor carries a DACL";
}

}  // namespace
}  // namespace tessarwick

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
  // The simulated host's embedded default content: a host file that does not exist gives it.
  ::setenv("TESSARWICK_HOST_FILE", "/nonexistent/tessarwick-wmiquery-service/host.json", 1);
#endif
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  return RUN_ALL_TESTS();
}
