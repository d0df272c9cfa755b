#include "tests/wmihost/HostFixture.h"

#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace tessarwick::testing {

UniqueBstr Bstr(const wchar_t* text) { return UniqueBstr(SysAllocString(text)); }

std::vector<BYTE> SddlBytes(const wchar_t* sddl) {
  UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
  ULONG size = 0;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor.put(), &size)) {
    ADD_FAILURE() << "not valid SDDL";
    return {};
  }
  const auto* bytes = static_cast<const BYTE*>(descriptor.get());
  return std::vector<BYTE>(bytes, bytes + size);
}

void HostTest::SetUp() {
  char pattern[] = "/tmp/tessarwick-wmihost-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  directory_ = pattern;
  hostFile_ = directory_ / "host.json";
  ::setenv("TESSARWICK_HOST_FILE", hostFile_.c_str(), 1);
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  wmihost::ClearFaults();
  wmihost::ClearRecords();
}

void HostTest::TearDown() {
  wmihost::ClearFaults();
  wmihost::ClearRecords();
  ::unsetenv("TESSARWICK_HOST_FILE");
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

void HostTest::WriteHostFile(const std::string& text) const {
  std::ofstream file(hostFile_, std::ios::binary);
  file << text;
}

std::string HostTest::ReadHostFile() const {
  std::ifstream file(hostFile_, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

HRESULT HostTest::Connect(const wchar_t* path, ComPtr<IWbemServices>& services) const {
  ComPtr<IWbemLocator> locator;
  HRESULT status =
      CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void());
  if (FAILED(status)) return status;
  UniqueBstr resource = Bstr(path);
  return locator->ConnectServer(resource.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put());
}

ComPtr<IWbemServices> HostTest::Connect(const wchar_t* path) const {
  ComPtr<IWbemServices> services;
  HRESULT status = Connect(path, services);
  EXPECT_EQ(status, S_OK) << "connecting to " << ::testing::PrintToString(std::wstring(path));
  return services;
}

std::vector<std::wstring> HostTest::ChildNames(IWbemServices* services) const {
  std::vector<std::wstring> names;
  UniqueBstr language = Bstr(L"WQL");
  UniqueBstr query = Bstr(L"SELECT * FROM __NAMESPACE");
  ComPtr<IEnumWbemClassObject> results;
  HRESULT status = services->ExecQuery(language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY, nullptr, results.put());
  EXPECT_EQ(status, S_OK);
  if (FAILED(status)) return names;
  for (;;) {
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    results->Next(static_cast<LONG>(WBEM_INFINITE), 1, object.put(), &returned);
    if (returned == 0) break;
    UniqueVariant name;
    EXPECT_EQ(object->Get(L"Name", 0, name.get(), nullptr, nullptr), S_OK);
    EXPECT_EQ(name->vt, VT_BSTR);
    if (name->vt == VT_BSTR) names.emplace_back(name->bstrVal, SysStringLen(name->bstrVal));
  }
  return names;
}

std::wstring HostTest::ReadSddl(IWbemServices* services) const {
  UniqueBstr path = Bstr(L"__SystemSecurity");
  UniqueBstr method = Bstr(L"GetSD");
  ComPtr<IWbemClassObject> out;
  HRESULT status = services->ExecMethod(path.get(), method.get(), 0, nullptr, nullptr, out.put(), nullptr);
  EXPECT_EQ(status, S_OK);
  if (FAILED(status)) return L"(ExecMethod failed)";
  UniqueVariant value;
  EXPECT_EQ(out->Get(L"ReturnValue", 0, value.get(), nullptr, nullptr), S_OK);
  EXPECT_EQ(value->vt, VT_I4);
  EXPECT_EQ(value->lVal, 0);
  EXPECT_EQ(out->Get(L"SD", 0, value.reset(), nullptr, nullptr), S_OK);
  if (value->vt != (VT_ARRAY | VT_UI1)) {
    ADD_FAILURE() << "SD has the type " << value->vt;
    return L"(not a byte array)";
  }
  void* data = nullptr;
  SafeArrayAccessData(value->parray, &data);
  UniqueLocal<LPWSTR> text;
  BOOL converted = ConvertSecurityDescriptorToStringSecurityDescriptorW(data, SDDL_REVISION_1, 15, text.put(), nullptr);
  SafeArrayUnaccessData(value->parray);
  EXPECT_TRUE(converted);
  return converted ? std::wstring(text.get()) : L"(not convertible)";
}

LONG HostTest::WriteBytes(IWbemServices* services, const std::vector<BYTE>& bytes) const {
  UniqueBstr path = Bstr(L"__SystemSecurity");
  UniqueBstr method = Bstr(L"SetSD");
  ComPtr<IWbemClassObject> systemSecurity;
  EXPECT_EQ(services->GetObject(path.get(), 0, nullptr, systemSecurity.put(), nullptr), S_OK);
  if (!systemSecurity) return -1;
  ComPtr<IWbemClassObject> inClass;
  EXPECT_EQ(systemSecurity->GetMethod(L"SetSD", 0, inClass.put(), nullptr), S_OK);
  ComPtr<IWbemClassObject> in;
  EXPECT_EQ(inClass->SpawnInstance(0, in.put()), S_OK);
  UniqueVariant value;
  value->vt = VT_ARRAY | VT_UI1;
  value->parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  void* data = nullptr;
  SafeArrayAccessData(value->parray, &data);
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  SafeArrayUnaccessData(value->parray);
  EXPECT_EQ(in->Put(L"SD", 0, value.get(), 0), S_OK);
  ComPtr<IWbemClassObject> out;
  HRESULT status = services->ExecMethod(path.get(), method.get(), 0, nullptr, in.get(), out.put(), nullptr);
  if (FAILED(status)) return status;
  UniqueVariant returnValue;
  EXPECT_EQ(out->Get(L"ReturnValue", 0, returnValue.get(), nullptr, nullptr), S_OK);
  return returnValue->lVal;
}

LONG HostTest::WriteSddl(IWbemServices* services, const wchar_t* sddl) const {
  return WriteBytes(services, SddlBytes(sddl));
}

}  // namespace tessarwick::testing
