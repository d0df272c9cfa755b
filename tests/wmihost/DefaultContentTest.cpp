// The host's default content, read through the same COM calls that view mode makes.
#include <cwctype>
#include <functional>

#include "tests/wmihost/HostFixture.h"

namespace tessarwick::testing {
namespace {

constexpr wchar_t kRootSddl[] =
    L"O:BAG:BAD:(A;CI;CCDCLCSWRPWPRCWD;;;BA)(A;CI;CCDCRP;;;NS)(A;CI;CCDCRP;;;LS)(A;CI;CCDCRP;;;AU)";
constexpr wchar_t kInheritedSddl[] =
    L"O:BAG:BAD:(A;CIID;CCDCLCSWRPWPRCWD;;;BA)(A;CIID;CCDCRP;;;NS)(A;CIID;CCDCRP;;;LS)(A;CIID;CCDCRP;;;AU)";

using DefaultContentTest = HostTest;

TEST_F(DefaultContentTest, ChildrenComeInTheOrderOfAFreshInstallation) {
  struct Row {
    const wchar_t* path;
    std::vector<std::wstring> children;
  };
  const Row rows[] = {
      {L"root", {L"subscription", L"DEFAULT", L"CIMV2", L"Cli", L"SECURITY", L"WMI", L"Interop", L"CCM"}},
      {L"root\\CIMV2", {L"Security", L"TerminalServices"}},
      {L"root\\CCM", {L"Policy", L"SoftwareUpdates"}},
      {L"root\\DEFAULT", {}},
      {L"root\\CCM\\Policy", {}},
  };
  for (const Row& row : rows) {
    ComPtr<IWbemServices> services = Connect(row.path);
    ASSERT_TRUE(services);
    EXPECT_EQ(ChildNames(services.get()), row.children) << ::testing::PrintToString(std::wstring(row.path));
  }
}

TEST_F(DefaultContentTest, NamespaceNamesMatchWhateverTheirCase) {
  for (const wchar_t* path : {L"ROOT\\cimv2\\SECURITY", L"Root/CimV2/Security", L"root\\ccm\\softwareupdates"}) {
    ComPtr<IWbemServices> services;
    EXPECT_EQ(Connect(path, services), S_OK) << ::testing::PrintToString(std::wstring(path));
  }
}

TEST_F(DefaultContentTest, RootHoldsExplicitEntriesAndEveryOtherNamespaceInheritsThem) {
  EXPECT_EQ(ReadSddl(Connect(L"root").get()), kRootSddl);
  for (const wchar_t* path :
       {L"root\\subscription", L"root\\CIMV2", L"root\\CIMV2\\TerminalServices", L"root\\CCM\\Policy"})
    EXPECT_EQ(ReadSddl(Connect(path).get()), kInheritedSddl) << ::testing::PrintToString(std::wstring(path));
}

TEST_F(DefaultContentTest, NothingIsWrittenWhileNothingChanges) {
  ComPtr<IWbemServices> services = Connect(L"root");
  ReadSddl(services.get());
  ChildNames(services.get());
  EXPECT_FALSE(std::filesystem::exists(HostFile()));
}

TEST_F(DefaultContentTest, ComputerNameIsTheHostNameUpperCasedAndCutToFifteenCharacters) {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(GetComputerNameW(name, &size));
  EXPECT_EQ(size, std::wcslen(name));
  char host[256] = {};
  ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
  std::wstring expected;
  for (const char* c = host; *c != '\0' && expected.size() < MAX_COMPUTERNAME_LENGTH; ++c)
    expected += static_cast<wchar_t>(std::towupper(static_cast<unsigned char>(*c)));
  EXPECT_EQ(std::wstring(name), expected);

  // A buffer one character short is refused with the size it needs, terminator included.
  DWORD tooSmall = size;
  EXPECT_FALSE(GetComputerNameW(name, &tooSmall));
  EXPECT_EQ(GetLastError(), 111u);
  EXPECT_EQ(tooSmall, size + 1);
}

// Walks the default tree as view mode does: a context with its three values, ConnectServer,
// CoSetProxyBlanket on the services and on the enumerator, ExecQuery of __NAMESPACE, Next, Clone
// and Get of Name, GetObject of __SystemSecurity, ExecMethod of GetSD, Get of ReturnValue and SD,
// and the SDDL conversion.
TEST_F(DefaultContentTest, ViewWalkReadsEveryDescriptorOfTheDefaultTree) {
  ComPtr<IWbemContext> context;
  ASSERT_EQ(CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemContext, context.put_void()),
            S_OK);
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  GetComputerNameW(computer, &size);
  for (const auto& [name, text] :
       {std::pair{L"LocaleID", L"MS\\0x409"}, std::pair{L"MachineName", (const wchar_t*)computer},
        std::pair{L"ApplicationName", L"Tessarwick"}}) {
    UniqueVariant value;
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocString(text);
    ASSERT_EQ(context->SetValue(name, 0, value.get()), S_OK);
  }

  std::vector<std::pair<std::wstring, std::wstring>> visited;
  std::function<void(const std::wstring&)> walk = [&](const std::wstring& path) {
    ComPtr<IWbemLocator> locator;
    ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void()),
              S_OK);
    UniqueBstr resource = Bstr(path.c_str());
    ComPtr<IWbemServices> services;
    ASSERT_EQ(locator->ConnectServer(resource.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put()),
              S_OK);
    ASSERT_EQ(CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE),
              S_OK);
    visited.emplace_back(path, ReadSddl(services.get()));

    UniqueBstr language = Bstr(L"WQL");
    UniqueBstr query = Bstr(L"SELECT * FROM __NAMESPACE");
    ComPtr<IEnumWbemClassObject> results;
    ASSERT_EQ(services->ExecQuery(language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY, context.get(), results.put()),
              S_OK);
    ASSERT_EQ(CoSetProxyBlanket(results.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE),
              S_OK);
    std::vector<std::wstring> children;
    for (;;) {
      ComPtr<IWbemClassObject> fetched;
      ULONG returned = 0;
      results->Next(static_cast<LONG>(WBEM_INFINITE), 1, fetched.put(), &returned);
      if (returned == 0) break;
      ComPtr<IWbemClassObject> current;
      ASSERT_EQ(fetched->Clone(current.put()), S_OK);
      UniqueVariant name;
      ASSERT_EQ(current->Get(L"Name", 0, name.get(), nullptr, nullptr), S_OK);
      children.push_back(path + L"\\" + name->bstrVal);
    }
    services.reset();
    results.reset();
    for (const std::wstring& child : children) walk(child);
  };
  walk(L"root");

  ASSERT_EQ(visited.size(), 13u);
  const wchar_t* order[] = {L"root",
                            L"root\\subscription",
                            L"root\\DEFAULT",
                            L"root\\CIMV2",
                            L"root\\CIMV2\\Security",
                            L"root\\CIMV2\\TerminalServices",
                            L"root\\Cli",
                            L"root\\SECURITY",
                            L"root\\WMI",
                            L"root\\Interop",
                            L"root\\CCM",
                            L"root\\CCM\\Policy",
                            L"root\\CCM\\SoftwareUpdates"};
  for (std::size_t i = 0; i < visited.size(); ++i) {
    EXPECT_EQ(visited[i].first, order[i]);
    EXPECT_EQ(visited[i].second, i == 0 ? kRootSddl : kInheritedSddl) << ::testing::PrintToString(visited[i].first);
  }

  // The service saw the context's values with each query, and the proxy security of each proxy.
  std::vector<wmihost::ContextRecord> queries;
  for (const wmihost::ContextRecord& record : wmihost::RecordedContexts())
    if (record.call == L"ExecQuery") queries.push_back(record);
  ASSERT_EQ(queries.size(), 13u);
  ASSERT_TRUE(queries.front().contextGiven);
  ASSERT_EQ(queries.front().values.size(), 3u);
  EXPECT_EQ(queries.front().values[0].name, L"LocaleID");
  EXPECT_EQ(queries.front().values[0].text, L"MS\\0x409");
  EXPECT_EQ(queries.front().values[1].text, std::wstring(computer));
  EXPECT_EQ(queries.front().values[2].text, L"Tessarwick");
  std::vector<wmihost::ProxyBlanketRecord> blankets = wmihost::RecordedProxyBlankets();
  ASSERT_EQ(blankets.size(), 26u);
  EXPECT_EQ(blankets[0].proxy, L"IWbemServices");
  EXPECT_EQ(blankets[1].proxy, L"IEnumWbemClassObject");
  EXPECT_EQ(blankets[3].namespacePath, L"root\\subscription");
  for (const wmihost::ProxyBlanketRecord& blanket : blankets) {
    EXPECT_EQ(blanket.authnService, 10u);
    EXPECT_EQ(blanket.authzService, 0u);
    EXPECT_EQ(blanket.authnLevel, 4u);
    EXPECT_EQ(blanket.impLevel, 3u);
    EXPECT_EQ(blanket.capabilities, 0u);
    EXPECT_FALSE(blanket.serverPrincipalName);
    EXPECT_FALSE(blanket.authInfo);
  }
}

}  // namespace
}  // namespace tessarwick::testing
