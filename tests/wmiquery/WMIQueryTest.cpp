// CWMIQuery over the simulated WMI host: each failing call is made to fail by the host's fault
// injection, and each test checks the message with its line end, the status, the last error
// text and what the object still holds afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/UniqueAny.h"
#include "platform/portable/wmi/HostControl.h"
#include "platform/portable/wmi/HostModel.h"
#include "platform/portable/wmi/HostStore.h"
#include "tests/support/OutputCapture.h"
#include "tests/support/ScratchFolder.h"
#include "wmi/ErrorText.h"
#include "wmi/WMIQuery.h"

namespace tessarwick {
namespace {

using testing::OutputCapture;
using testing::ScratchFolder;
using wmihost::Fault;
using wmihost::HostCall;

UniqueBstr MakeBstr(const wchar_t* text) { return UniqueBstr(SysAllocString(text)); }

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring TextOf(const WideString& text) { return text.IsAbsent() ? L"<absent>" : std::wstring(text.Text()); }

// A host of its own for each test: root with the children a, b and c in that order, each a leaf.
class WMIQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ::setenv("TESSARWICK_HOST_FILE", hostFile_.c_str(), 1);

    state_ = wmihost::DefaultHostState();
    wmihost::NamespaceNode& root = state_.local.root;
    root.children.clear();
    for (const wchar_t* name : {L"a", L"b", L"c"}) root.children.push_back(wmihost::MakeChildNamespace(root, name));
    WriteHost();

    wmihost::ClearFaults();
    wmihost::ClearRecords();
  }

  void TearDown() override {
    query_.reset();
    wmihost::ClearFaults();
    wmihost::ClearRecords();
    ::unsetenv("TESSARWICK_HOST_FILE");
  }

  void WriteHost() { std::ofstream(hostFile_) << wmihost::HostStateToJson(state_); }

  // For the tests of a connection without a namespace, which goes to root\default.
  void AddDefaultNamespace() {
    wmihost::NamespaceNode& root = state_.local.root;
    root.children.push_back(wmihost::MakeChildNamespace(root, L"default"));
    WriteHost();
  }

  // Makes the object, its context and the connection to root; nothing may be printed on the way.
  void ConnectRoot() {
    query_ = std::make_unique<CWMIQuery>();
    ASSERT_TRUE(query_->InitContext());
    ASSERT_EQ(query_->Connect(root_.get(), nullptr, nullptr), S_OK);
    ASSERT_EQ(output_.Take(), "");
  }

  void QueryChildren() { ASSERT_EQ(query_->Query(namespaceQuery_.get(), WBEM_FLAG_FORWARD_ONLY), S_OK); }

  // The Name of the current result, read from it directly (not through GetProperty).
  std::wstring CurrentName() {
    IWbemClassObject* current = query_->GetCurrentObject();
    if (current == nullptr) return L"<none>";
    UniqueVariant name;
    if (FAILED(current->Get(L"Name", 0, name.get(), nullptr, nullptr)) || name->vt != VT_BSTR) return L"<unreadable>";
    return name->bstrVal;
  }

  std::vector<std::wstring> ChildNames() {
    std::vector<std::wstring> names;
    EXPECT_EQ(query_->Query(namespaceQuery_.get(), WBEM_FLAG_FORWARD_ONLY), S_OK);
    for (HRESULT status = query_->MoveFirst(); SUCCEEDED(status); status = query_->MoveNext())
      names.push_back(CurrentName());
    return names;
  }

  static Fault RootFault(HostCall call, HRESULT status, std::wstring name = L"", std::wstring object = L"") {
    Fault fault;
    fault.namespacePath = L"root";
    fault.call = call;
    fault.status = status;
    fault.name = std::move(name);
    fault.object = std::move(object);
    return fault;
  }

  ScratchFolder scratch_{"tessarwick-wmiquery"};
  const std::filesystem::path hostFile_ = scratch_.HostFile();
  wmihost::HostState state_;
  OutputCapture output_;
  UniqueBstr root_ = MakeBstr(L"root");
  UniqueBstr namespaceQuery_ = MakeBstr(L"SELECT * FROM __NAMESPACE");
  std::unique_ptr<CWMIQuery> query_;
};

// --- Construction and context -------------------------------------------------------------------

TEST_F(WMIQueryTest, WithoutLocatorConnectFailsQuietlyButContextIsMade) {
  const HRESULT status = REGDB_E_CLASSNOTREG;
  wmihost::FailCreation(CLSID_WbemLocator, status);
  query_ = std::make_unique<CWMIQuery>();
  const std::string expected = std::string("CWMIQuery::Init - ") + SystemErrorText(static_cast<DWORD>(status)) + "\n";
  EXPECT_EQ(output_.Take(), expected);

  EXPECT_EQ(query_->Connect(root_.get(), nullptr, nullptr), E_FAIL);
  EXPECT_EQ(query_->Connect(nullptr, nullptr, nullptr), E_FAIL);
  EXPECT_TRUE(query_->InitContext());
  EXPECT_NE(query_->GetContext(), nullptr);
  EXPECT_EQ(query_->GetServices(), nullptr);
  EXPECT_EQ(output_.Take(), "");
  EXPECT_TRUE(query_->GetLastErrorText().IsAbsent()) << "the constructor's failure is not a WMI status";
  EXPECT_TRUE(wmihost::RecordedConnects().empty());
}

TEST_F(WMIQueryTest, ContextThatCannotBeMadeIsReportedOnlyAsFalse) {
  wmihost::FailCreation(CLSID_WbemContext, E_OUTOFMEMORY);
  query_ = std::make_unique<CWMIQuery>();
  EXPECT_FALSE(query_->InitContext());
  EXPECT_EQ(query_->GetContext(), nullptr);
  EXPECT_EQ(output_.Take(), "");
  EXPECT_TRUE(query_->GetLastErrorText().IsAbsent());

  // The object still works, its calls simply carry no context.
  ASSERT_EQ(query_->Connect(root_.get(), nullptr, nullptr), S_OK);
  QueryChildren();
  std::vector<wmihost::ContextRecord> contexts = wmihost::RecordedContexts();
  ASSERT_FALSE(contexts.empty());
  EXPECT_EQ(contexts.back().call, L"ExecQuery");
  EXPECT_FALSE(contexts.back().contextGiven);
}

TEST_F(WMIQueryTest, ServiceReceivesTheThreeContextValuesWithEveryQueryAndObjectCall) {
  ConnectRoot();
  QueryChildren();
  UniqueBstr objectPath = MakeBstr(L"__NAMESPACE.Name=\"a\"");
  ASSERT_EQ(query_->OpenInstance(objectPath.get()), S_OK);
  ASSERT_EQ(query_->CloseInstance(), S_OK);
  // A second InitContext sets the same values again on the same context.
  IWbemContext* context = query_->GetContext();
  ASSERT_TRUE(query_->InitContext());
  EXPECT_EQ(query_->GetContext(), context);
  QueryChildren();

  const std::vector<std::wstring> expectedCalls = {L"ConnectServer", L"ExecQuery", L"GetObject", L"ExecQuery"};
  std::vector<wmihost::ContextRecord> contexts = wmihost::RecordedContexts();
  ASSERT_EQ(contexts.size(), expectedCalls.size());
  const std::wstring machine = wmihost::LocalComputerName();
  for (std::size_t i = 0; i < contexts.size(); ++i) {
    SCOPED_TRACE(Narrow(contexts[i].call));
    EXPECT_EQ(contexts[i].call, expectedCalls[i]);
    if (contexts[i].call == L"ConnectServer") {
      // ConnectServer is given no context at all.
      EXPECT_FALSE(contexts[i].contextGiven);
      continue;
    }
    ASSERT_TRUE(contexts[i].contextGiven);
    ASSERT_EQ(contexts[i].values.size(), 3u);
    const wchar_t* names[] = {L"LocaleID", L"MachineName", L"ApplicationName"};
    // Eight characters: M, S, a backslash, 0, x, 4, 0, 9.
    const std::wstring texts[] = {std::wstring(L"MS\\0x409"), machine, std::wstring(L"Tessarwick")};
    EXPECT_EQ(texts[0].size(), 8u);
    for (int v = 0; v < 3; ++v) {
      EXPECT_EQ(contexts[i].values[v].name, names[v]);
      EXPECT_EQ(contexts[i].values[v].type, VT_BSTR);
      EXPECT_EQ(contexts[i].values[v].text, texts[v]);
    }
  }
}

// --- Connect ------------------------------------------------------------------------------------

TEST_F(WMIQueryTest, ConnectPassesOnlyTheNamespaceAndSetsTheProxyBlanket) {
  ConnectRoot();
  std::vector<wmihost::ConnectRecord> connects = wmihost::RecordedConnects();
  ASSERT_EQ(connects.size(), 1u);
  EXPECT_EQ(connects[0].resource, L"root");
  EXPECT_FALSE(connects[0].userGiven);
  EXPECT_FALSE(connects[0].passwordGiven);
  EXPECT_FALSE(connects[0].localeGiven);
  EXPECT_EQ(connects[0].securityFlags, 0);
  EXPECT_FALSE(connects[0].authorityGiven);
  EXPECT_FALSE(connects[0].contextGiven);

  // A query of an object that named its namespace puts the same security on the enumerator.
  QueryChildren();
  std::vector<wmihost::ProxyBlanketRecord> blankets = wmihost::RecordedProxyBlankets();
  ASSERT_EQ(blankets.size(), 2u);
  EXPECT_EQ(blankets[0].proxy, L"IWbemServices");
  EXPECT_EQ(blankets[1].proxy, L"IEnumWbemClassObject");
  for (const wmihost::ProxyBlanketRecord& blanket : blankets) {
    SCOPED_TRACE(Narrow(blanket.proxy));
    EXPECT_EQ(blanket.authnService, 10u);
    EXPECT_EQ(blanket.authzService, 0u);
    EXPECT_FALSE(blanket.serverPrincipalName);
    EXPECT_EQ(blanket.authnLevel, 4u);
    EXPECT_EQ(blanket.impLevel, 3u);
    EXPECT_FALSE(blanket.authInfo);
    EXPECT_EQ(blanket.capabilities, 0u);
    EXPECT_TRUE(wmihost::EqualsIgnoringCase(blanket.namespacePath, L"root"));
  }
}

TEST_F(WMIQueryTest, ConnectWithoutNamespaceUsesRootDefaultAndNoEnumeratorBlanket) {
  AddDefaultNamespace();
  query_ = std::make_unique<CWMIQuery>();
  ASSERT_TRUE(query_->InitContext());
  ASSERT_EQ(query_->Connect(nullptr, nullptr, nullptr), S_OK);
  QueryChildren();
  EXPECT_EQ(output_.Take(), "");

  std::vector<wmihost::ConnectRecord> connects = wmihost::RecordedConnects();
  ASSERT_EQ(connects.size(), 1u);
  EXPECT_EQ(connects[0].resource, L"root\\default");
  EXPECT_FALSE(connects[0].userGiven);
  std::vector<wmihost::ProxyBlanketRecord> blankets = wmihost::RecordedProxyBlankets();
  ASSERT_EQ(blankets.size(), 1u) << "no blanket on the enumerator of a default connection";
  EXPECT_EQ(blankets[0].proxy, L"IWbemServices");
}

TEST_F(WMIQueryTest, ConnectWithoutNamespaceReusesTheUserAndPasswordOfAnEarlierOne) {
  query_ = std::make_unique<CWMIQuery>();
  UniqueBstr user = MakeBstr(L"operator");
  UniqueBstr password = MakeBstr(L"secret");
  query_->Connect(root_.get(), user.get(), password.get());
  query_->Connect(nullptr, nullptr, nullptr);
  output_.Take();

  std::vector<wmihost::ConnectRecord> connects = wmihost::RecordedConnects();
  ASSERT_EQ(connects.size(), 2u);
  EXPECT_EQ(connects[1].resource, L"root\\default");
  EXPECT_TRUE(connects[1].userGiven);
  EXPECT_TRUE(connects[1].passwordGiven);
}

struct ConnectFailureCase {
  const char* label;
  const wchar_t* nameSpace;  // null: no namespace
  bool inject;               // inject the status, or let the host fail on its own
  HRESULT status;
  const char* expected;
};

class ConnectFailureTest : public WMIQueryTest, public ::testing::WithParamInterface<ConnectFailureCase> {};

TEST_P(ConnectFailureTest, PrintsOneLineKeepsTheNameAndHoldsNoServices) {
  const ConnectFailureCase& row = GetParam();
  AddDefaultNamespace();
  if (row.inject) {
    Fault fault = RootFault(HostCall::ConnectServer, row.status);
    fault.namespacePath = row.nameSpace != nullptr ? row.nameSpace : L"root\\default";
    wmihost::InjectFault(fault);
  }
  query_ = std::make_unique<CWMIQuery>();
  ASSERT_TRUE(query_->InitContext());
  UniqueBstr nameSpace = MakeBstr(row.nameSpace);
  EXPECT_EQ(query_->Connect(nameSpace.get(), nullptr, nullptr), row.status);
  std::string printed = output_.Take();
  EXPECT_EQ(printed, row.expected) << testing::FirstDifference(row.expected, printed);
  EXPECT_EQ(query_->GetServices(), nullptr);
  EXPECT_EQ(TextOf(query_->GetLastErrorText()), WideString::FromAnsi(WbemErrorText(row.status)).Text());

  // Everything that needs the services now fails without a word.
  VARIANT value;
  VariantInit(&value);
  UniqueBstr path = MakeBstr(L"__NAMESPACE.Name=\"a\"");
  EXPECT_EQ(query_->Query(namespaceQuery_.get(), WBEM_FLAG_FORWARD_ONLY), E_FAIL);
  EXPECT_EQ(query_->GetProperty(L"Name", &value), E_FAIL);
  EXPECT_EQ(query_->OpenInstance(path.get()), E_FAIL);
  EXPECT_EQ(query_->CreateInstance(path.get()), E_FAIL);
  EXPECT_EQ(query_->DeleteInstance(path.get()), E_FAIL);
  EXPECT_EQ(output_.Take(), "");
  EXPECT_TRUE(wmihost::RecordedProxyBlankets().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConnectFailureTest,
    ::testing::Values(
        ConnectFailureCase{"NoSuchNamespace", L"root\\nosuch", false, static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE),
                           "CWMIQuery::Connect: Failed connecting to namespace:root\\nosuch, "
                           "error:WBEM_E_INVALID_NAMESPACE\n"},
        ConnectFailureCase{"AccessDenied", L"root", true, static_cast<HRESULT>(WBEM_E_ACCESS_DENIED),
                           "CWMIQuery::Connect: Failed connecting to namespace:root, error:WBEM_E_ACCESS_DENIED\n"},
        ConnectFailureCase{"DefaultNamespace", nullptr, true, static_cast<HRESULT>(WBEM_E_TRANSPORT_FAILURE),
                           "CWMIQuery::Connect: Failed connecting to namespace:(null), "
                           "error:WBEM_E_TRANSPORT_FAILURE\n"}),
    [](const ::testing::TestParamInfo<ConnectFailureCase>& info) { return std::string(info.param.label); });

TEST_F(WMIQueryTest, FailedBlanketIsSilentAndKeepsTheConnection) {
  wmihost::InjectFault(RootFault(HostCall::CoSetProxyBlanket, E_ACCESSDENIED));
  query_ = std::make_unique<CWMIQuery>();
  ASSERT_TRUE(query_->InitContext());
  EXPECT_EQ(query_->Connect(root_.get(), nullptr, nullptr), E_ACCESSDENIED);
  EXPECT_NE(query_->GetServices(), nullptr);

  // The enumerator's blanket fails the same way, and the enumerator stays usable.
  EXPECT_EQ(query_->Query(namespaceQuery_.get(), WBEM_FLAG_FORWARD_ONLY), E_ACCESSDENIED);
  EXPECT_EQ(query_->MoveFirst(), S_OK);
  EXPECT_EQ(CurrentName(), L"a");
  EXPECT_EQ(output_.Take(), "");
  EXPECT_TRUE(query_->GetLastErrorText().IsAbsent());
}

// --- Query and the enumeration ------------------------------------------------------------------

TEST_F(WMIQueryTest, FailedQueryPrintsWithoutLineEndAndDropsTheEarlierResults) {
  ConnectRoot();
  QueryChildren();
  ASSERT_EQ(query_->MoveFirst(), S_OK);
  ASSERT_NE(query_->GetCurrentObject(), nullptr);

  wmihost::InjectFault(RootFault(HostCall::ExecQuery, static_cast<HRESULT>(WBEM_E_INVALID_QUERY)));
  EXPECT_EQ(query_->Query(namespaceQuery_.get(), WBEM_FLAG_FORWARD_ONLY), static_cast<HRESULT>(WBEM_E_INVALID_QUERY));
  EXPECT_EQ(output_.Take(),
            "CWMIQuery::Query: Failed executing query:SELECT * FROM __NAMESPACE, error:WBEM_E_INVALID_QUERY");
  EXPECT_EQ(TextOf(query_->GetLastErrorText()), L"WBEM_E_INVALID_QUERY");
  EXPECT_EQ(query_->GetCurrentObject(), nullptr);
  EXPECT_EQ(query_->MoveFirst(), E_FAIL);
  EXPECT_EQ(query_->MoveNext(), E_FAIL);
  EXPECT_EQ(output_.Take(), "");
}

TEST_F(WMIQueryTest, MoveFirstAndMoveNextNeverRewind) {
  ConnectRoot();
  EXPECT_EQ(query_->MoveFirst(), E_FAIL) << "no enumerator";
  QueryChildren();
  EXPECT_EQ(query_->MoveNext(), E_FAIL) << "no current result yet";
  ASSERT_EQ(query_->MoveFirst(), S_OK);
  EXPECT_EQ(CurrentName(), L"a") << "MoveNext without a current result fetched nothing";
  ASSERT_EQ(query_->MoveNext(), S_OK);
  EXPECT_EQ(CurrentName(), L"b");
  ASSERT_EQ(query_->MoveFirst(), S_OK);
  EXPECT_EQ(CurrentName(), L"c") << "MoveFirst fetches the following result";
  IWbemClassObject* last = query_->GetCurrentObject();
  EXPECT_EQ(query_->MoveNext(), E_FAIL);
  EXPECT_EQ(query_->MoveFirst(), E_FAIL);
  EXPECT_EQ(query_->GetCurrentObject(), last) << "the last result stays current";
  EXPECT_EQ(CurrentName(), L"c");
  EXPECT_EQ(output_.Take(), "");
  EXPECT_TRUE(query_->GetLastErrorText().IsAbsent());
}

TEST_F(WMIQueryTest, GetCountUsesTheResultsUp) {
  ConnectRoot();
  EXPECT_EQ(query_->GetCount(), 0) << "without a query";
  QueryChildren();
  EXPECT_EQ(query_->GetCount(), 3);
  EXPECT_EQ(CurrentName(), L"c");
  EXPECT_EQ(query_->MoveFirst(), E_FAIL);
  EXPECT_EQ(query_->MoveNext(), E_FAIL);
  EXPECT_EQ(query_->GetCount(), 0) << "nothing left until the next query";

  // A namespace without sub-namespaces gives no results at all.
  UniqueBstr leaf = MakeBstr(L"root\\a");
  CWMIQuery leafQuery;
  ASSERT_EQ(leafQuery.Connect(leaf.get(), nullptr, nullptr), S_OK);
  ASSERT_EQ(leafQuery.Query(namespaceQuery_.get(), WBEM_FLAG_FORWARD_ONLY), S_OK);
  EXPECT_EQ(leafQuery.GetCount(), 0);
  EXPECT_EQ(output_.Take(), "");
}

TEST_F(WMIQueryTest, FailedFetchLooksLikeTheEndOfTheResults) {
  ConnectRoot();
  wmihost::InjectFault(RootFault(HostCall::Next, static_cast<HRESULT>(WBEM_E_TRANSPORT_FAILURE), L"", L"b"));
  QueryChildren();
  ASSERT_EQ(query_->MoveFirst(), S_OK);
  EXPECT_EQ(query_->MoveNext(), E_FAIL);
  EXPECT_EQ(CurrentName(), L"a");
  EXPECT_EQ(output_.Take(), "");
  EXPECT_TRUE(query_->GetLastErrorText().IsAbsent());
}

TEST_F(WMIQueryTest, FailedCloneLeavesNoCurrentResultAndIsSilent) {
  ConnectRoot();
  wmihost::InjectFault(RootFault(HostCall::Clone, E_OUTOFMEMORY, L"", L"b"));
  QueryChildren();
  ASSERT_EQ(query_->MoveFirst(), S_OK);
  EXPECT_EQ(query_->MoveNext(), E_OUTOFMEMORY);
  EXPECT_EQ(query_->GetCurrentObject(), nullptr);
  EXPECT_EQ(query_->MoveNext(), E_FAIL) << "no current result";
  ASSERT_EQ(query_->MoveFirst(), S_OK);
  EXPECT_EQ(CurrentName(), L"c");
  EXPECT_EQ(output_.Take(), "");
  EXPECT_TRUE(query_->GetLastErrorText().IsAbsent());
}

// --- GetProperty --------------------------------------------------------------------------------

TEST_F(WMIQueryTest, GetPropertyWithoutASourceLeavesTheValueAlone) {
  query_ = std::make_unique<CWMIQuery>();
  UniqueVariant value;
  value->vt = VT_I4;
  value->lVal = 42;
  EXPECT_EQ(query_->GetProperty(L"Name", value.get()), E_FAIL) << "no services";
  ASSERT_EQ(query_->Connect(root_.get(), nullptr, nullptr), S_OK);
  EXPECT_EQ(query_->GetProperty(L"Name", value.get()), E_FAIL) << "no query";
  QueryChildren();
  EXPECT_EQ(query_->GetProperty(L"Name", value.get()), E_FAIL) << "no current result";
  EXPECT_EQ(value->vt, VT_I4);
  EXPECT_EQ(value->lVal, 42);
  EXPECT_EQ(output_.Take(), "");
}

TEST_F(WMIQueryTest, GetPropertyReplacesTheCallersValue) {
  ConnectRoot();
  QueryChildren();
  ASSERT_EQ(query_->MoveFirst(), S_OK);
  UniqueVariant value;
  value->vt = VT_BSTR;
  value->bstrVal = SysAllocString(L"left over from an earlier read");
  ASSERT_EQ(query_->GetProperty(L"Name", value.get()), S_OK);
  ASSERT_EQ(value->vt, VT_BSTR);
  EXPECT_STREQ(value->bstrVal, L"a");
}

struct PropertyFailureCase {
  const char* label;
  const wchar_t* property;
  bool inject;
  HRESULT status;
  const char* expected;
  const char* lastError;
};

class GetPropertyFailureTest : public WMIQueryTest, public ::testing::WithParamInterface<PropertyFailureCase> {};

TEST_P(GetPropertyFailureTest, PrintsOneLineAndKeepsTheNameUntilTheNextFailure) {
  const PropertyFailureCase& row = GetParam();
  if (row.inject) wmihost::InjectFault(RootFault(HostCall::Get, row.status, row.property, L"a"));
  ConnectRoot();
  QueryChildren();
  ASSERT_EQ(query_->MoveFirst(), S_OK);
  UniqueVariant value;
  EXPECT_EQ(query_->GetProperty(row.property, value.get()), row.status);
  std::string printed = output_.Take();
  EXPECT_EQ(printed, row.expected) << testing::FirstDifference(row.expected, printed);
  EXPECT_EQ(TextOf(query_->GetLastErrorText()), TextOf(WideString::FromAnsi(row.lastError)));
  EXPECT_NE(query_->GetCurrentObject(), nullptr);

  // A later success leaves the text as it was.
  ASSERT_EQ(query_->MoveNext(), S_OK);
  EXPECT_EQ(query_->GetProperty(L"Name", value.reset()), S_OK);
  EXPECT_STREQ(value->bstrVal, L"b");
  EXPECT_EQ(TextOf(query_->GetLastErrorText()), TextOf(WideString::FromAnsi(row.lastError)));
  EXPECT_EQ(output_.Take(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GetPropertyFailureTest,
    ::testing::Values(
        PropertyFailureCase{"NoSuchProperty", L"NoSuchProperty", false, static_cast<HRESULT>(WBEM_E_NOT_FOUND),
                            "CWMIQuery::GetProperty: Failed, property:NoSuchProperty error:WBEM_E_NOT_FOUND\n",
                            "WBEM_E_NOT_FOUND"},
        PropertyFailureCase{"InjectedOnName", L"Name", true, static_cast<HRESULT>(WBEM_E_ACCESS_DENIED),
                            "CWMIQuery::GetProperty: Failed, property:Name error:WBEM_E_ACCESS_DENIED\n",
                            "WBEM_E_ACCESS_DENIED"}),
    [](const ::testing::TestParamInfo<PropertyFailureCase>& info) { return std::string(info.param.label); });

TEST_F(WMIQueryTest, GetPropertyReadsTheOpenedInstanceBeforeTheCurrentResult) {
  ConnectRoot();
  QueryChildren();
  ASSERT_EQ(query_->MoveFirst(), S_OK);
  UniqueBstr path = MakeBstr(L"__NAMESPACE.Name=\"b\"");
  ASSERT_EQ(query_->OpenInstance(path.get()), S_OK);
  ASSERT_NE(query_->GetInstance(), nullptr);
  UniqueVariant value;
  ASSERT_EQ(query_->GetProperty(L"Name", value.get()), S_OK);
  EXPECT_STREQ(value->bstrVal, L"b");

  ASSERT_EQ(query_->CloseInstance(), S_OK);
  ASSERT_EQ(query_->GetProperty(L"Name", value.get()), S_OK);
  EXPECT_STREQ(value->bstrVal, L"a");
  EXPECT_EQ(output_.Take(), "");
}

// --- Instance operations ------------------------------------------------------------------------

TEST_F(WMIQueryTest, InstanceOperationsWithoutTheirPreconditionsFailQuietly) {
  query_ = std::make_unique<CWMIQuery>();
  UniqueBstr path = MakeBstr(L"__NAMESPACE.Name=\"a\"");
  UniqueVariant value;
  value->vt = VT_BSTR;
  value->bstrVal = SysAllocString(L"x");

  // Without services.
  EXPECT_EQ(query_->OpenInstance(path.get()), E_FAIL);
  EXPECT_EQ(query_->CreateInstance(path.get()), E_FAIL);
  EXPECT_EQ(query_->DeleteInstance(path.get()), E_FAIL);
  EXPECT_EQ(query_->SetProperty(L"Name", value.get()), E_FAIL);
  EXPECT_EQ(query_->CloseInstance(), E_FAIL);
  EXPECT_TRUE(query_->GetLastObjectPath().IsAbsent()) << "absent until the first Flush";
  EXPECT_EQ(query_->Flush(), E_FAIL);
  EXPECT_FALSE(query_->GetLastObjectPath().IsAbsent()) << "Flush empties the path before any test";
  EXPECT_EQ(TextOf(query_->GetLastObjectPath()), L"");

  // With services but no opened instance.
  ASSERT_EQ(query_->Connect(root_.get(), nullptr, nullptr), S_OK);
  EXPECT_EQ(query_->SetProperty(L"Name", value.get()), E_FAIL);
  EXPECT_EQ(query_->CloseInstance(), E_FAIL);
  EXPECT_EQ(query_->Flush(), E_FAIL);
  EXPECT_EQ(TextOf(query_->GetLastObjectPath()), L"");
  EXPECT_EQ(output_.Take(), "");
  EXPECT_TRUE(query_->GetLastErrorText().IsAbsent());
}

TEST_F(WMIQueryTest, SecondCloseInstanceFails) {
  ConnectRoot();
  UniqueBstr path = MakeBstr(L"__NAMESPACE.Name=\"a\"");
  ASSERT_EQ(query_->OpenInstance(path.get()), S_OK);
  EXPECT_EQ(query_->CloseInstance(), S_OK);
  EXPECT_EQ(query_->GetInstance(), nullptr);
  EXPECT_EQ(query_->CloseInstance(), E_FAIL);
}

// One failing instance call per row: the message and its line end, the status, the last error
// text, and whether an instance is still open afterwards.
struct InstanceFailureCase {
  const char* label;
  HostCall call;
  HRESULT status;
  const char* expected;
  bool instanceAfterwards;
};

class InstanceFailureTest : public WMIQueryTest, public ::testing::WithParamInterface<InstanceFailureCase> {
 protected:
  // Opens the instance of a, then runs the operation that the row makes fail.
  HRESULT RunOperation(HostCall call) {
    UniqueBstr path = MakeBstr(L"__NAMESPACE.Name=\"a\"");
    UniqueBstr className = MakeBstr(L"__NAMESPACE");
    UniqueVariant value;
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocString(L"renamed");
    switch (call) {
      case HostCall::GetObject:
        return query_->OpenInstance(path.get());
      case HostCall::DeleteInstance:
        EXPECT_EQ(query_->OpenInstance(path.get()), S_OK);
        return query_->DeleteInstance(path.get());
      case HostCall::Put:
        EXPECT_EQ(query_->CreateInstance(className.get()), S_OK);
        return query_->SetProperty(L"Name", value.get());
      case HostCall::PutInstance:
        EXPECT_EQ(query_->CreateInstance(className.get()), S_OK);
        EXPECT_EQ(query_->SetProperty(L"Name", value.get()), S_OK);
        return query_->Flush();
      default:
        ADD_FAILURE() << "no operation for this call";
        return S_OK;
    }
  }
};

TEST_P(InstanceFailureTest, PrintsItsMessageAndKeepsTheStatusName) {
  const InstanceFailureCase& row = GetParam();
  ConnectRoot();
  wmihost::InjectFault(RootFault(row.call, row.status));
  EXPECT_EQ(RunOperation(row.call), row.status);
  std::string printed = output_.Take();
  EXPECT_EQ(printed, row.expected) << testing::FirstDifference(row.expected, printed);
  EXPECT_EQ(TextOf(query_->GetLastErrorText()), TextOf(WideString::FromAnsi(WbemErrorText(row.status))));
  EXPECT_EQ(query_->GetInstance() != nullptr, row.instanceAfterwards);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, InstanceFailureTest,
    ::testing::Values(
        InstanceFailureCase{"OpenInstance", HostCall::GetObject, static_cast<HRESULT>(WBEM_E_NOT_FOUND),
                            "CWMIQuery::OpenInstance: Failed, object:__NAMESPACE.Name=\"a\" error:WBEM_E_NOT_FOUND\n",
                            false},
        // DeleteInstance leaves the opened instance alone.
        InstanceFailureCase{"DeleteInstance", HostCall::DeleteInstance, static_cast<HRESULT>(WBEM_E_ACCESS_DENIED),
                            "CWMIQuery::DeleteInstance: Failed, objectpath:__NAMESPACE.Name=\"a\" "
                            "error:WBEM_E_ACCESS_DENIED",
                            true},
        InstanceFailureCase{"SetProperty", HostCall::Put, static_cast<HRESULT>(WBEM_E_TYPE_MISMATCH),
                            "CWMIQuery::SetProperty: Failed, property:Name error:WBEM_E_TYPE_MISMATCH", true},
        // A failed write still ends the opened instance.
        InstanceFailureCase{"Flush", HostCall::PutInstance, static_cast<HRESULT>(WBEM_E_ACCESS_DENIED),
                            "T: CWMIQuery::Flush: Failed, error:WBEM_E_ACCESS_DENIED", false}),
    [](const ::testing::TestParamInfo<InstanceFailureCase>& info) { return std::string(info.param.label); });

TEST_F(WMIQueryTest, CreateInstanceOfAClassThatCannotBeReadPrintsTheKeptText) {
  ConnectRoot();
  UniqueBstr path = MakeBstr(L"__NAMESPACE.Name=\"a\"");
  ASSERT_EQ(query_->OpenInstance(path.get()), S_OK);
  UniqueBstr className = MakeBstr(L"NoSuchClass");
  EXPECT_EQ(query_->CreateInstance(className.get()), static_cast<HRESULT>(WBEM_E_NOT_FOUND));
  EXPECT_EQ(output_.Take(), "CWMIQuery::CreateInstance: Failed, object:NoSuchClass error:WBEM_E_NOT_FOUND");
  EXPECT_EQ(TextOf(query_->GetLastErrorText()), L"WBEM_E_NOT_FOUND");
  EXPECT_EQ(query_->GetInstance(), nullptr) << "the earlier instance is dropped before the class is read";
}

TEST_F(WMIQueryTest, FailedSpawnIsSilentAndLeavesTheLastErrorAlone) {
  ConnectRoot();
  UniqueBstr missing = MakeBstr(L"NoSuchClass");
  query_->CreateInstance(missing.get());
  output_.Take();

  wmihost::InjectFault(RootFault(HostCall::SpawnInstance, static_cast<HRESULT>(WBEM_E_INVALID_CLASS)));
  UniqueBstr className = MakeBstr(L"__NAMESPACE");
  EXPECT_EQ(query_->CreateInstance(className.get()), static_cast<HRESULT>(WBEM_E_INVALID_CLASS));
  EXPECT_EQ(output_.Take(), "");
  EXPECT_EQ(TextOf(query_->GetLastErrorText()), L"WBEM_E_NOT_FOUND");
  EXPECT_EQ(query_->GetInstance(), nullptr);
}

TEST_F(WMIQueryTest, NamespaceMadeThroughAnInstanceIsFoundAndDeleted) {
  ConnectRoot();
  UniqueBstr className = MakeBstr(L"__NAMESPACE");
  ASSERT_EQ(query_->CreateInstance(className.get()), S_OK);
  ASSERT_NE(query_->GetInstance(), nullptr);
  UniqueVariant name;
  name->vt = VT_BSTR;
  name->bstrVal = SysAllocString(L"made");
  ASSERT_EQ(query_->SetProperty(L"Name", name.get()), S_OK);
  ASSERT_EQ(query_->Flush(), S_OK);
  EXPECT_EQ(query_->GetInstance(), nullptr);
  const WideString objectPath = query_->GetLastObjectPath();
  EXPECT_EQ(TextOf(objectPath), L"__NAMESPACE.Name=\"made\"");
  EXPECT_EQ(ChildNames(), (std::vector<std::wstring>{L"a", L"b", L"c", L"made"}));

  // The new namespace can be connected to in its own right.
  UniqueBstr made = MakeBstr(L"root\\made");
  CWMIQuery child;
  EXPECT_EQ(child.Connect(made.get(), nullptr, nullptr), S_OK);

  ASSERT_EQ(query_->DeleteInstance(objectPath.Bstr()), S_OK);
  EXPECT_EQ(ChildNames(), (std::vector<std::wstring>{L"a", L"b", L"c"}));
  EXPECT_EQ(output_.Take(), "");
  EXPECT_TRUE(query_->GetLastErrorText().IsAbsent());
}

}  // namespace
}  // namespace tessarwick
