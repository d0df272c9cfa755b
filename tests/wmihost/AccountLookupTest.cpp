// The stand-in's LSA lookup: well-known accounts, the local computer's and the host file's.
#include "tests/wmihost/HostFixture.h"

namespace tessarwick::testing {
namespace {

class AccountLookupTest : public HostTest {
 protected:
  // The SID text of the name, or the Windows error of the lookup as "error N".
  std::wstring Lookup(const std::wstring& name, ULONG flags = LSA_LOOKUP_ISOLATED_AS_LOCAL) const {
    LSA_OBJECT_ATTRIBUTES attributes{};
    LSA_HANDLE policy = nullptr;
    EXPECT_EQ(LsaNtStatusToWinError(LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES, &policy)), 0u);
    LSA_UNICODE_STRING text{static_cast<USHORT>(name.size() * 2), static_cast<USHORT>(name.size() * 2),
                            const_cast<wchar_t*>(name.data())};
    PLSA_REFERENCED_DOMAIN_LIST domains = nullptr;
    PLSA_TRANSLATED_SID2 sids = nullptr;
    NTSTATUS status = LsaLookupNames2(policy, flags, 1, &text, &domains, &sids);
    EXPECT_EQ(LsaClose(policy), 0);
    std::wstring result;
    if (ULONG error = LsaNtStatusToWinError(status); error != 0) {
      result = L"error " + std::to_wstring(error);
    } else {
      UniqueLocal<LPWSTR> sidText;
      EXPECT_TRUE(ConvertSidToStringSidW(sids[0].Sid, sidText.put()));
      result = sidText.get();
      EXPECT_GE(sids[0].DomainIndex, 0);
      EXPECT_LT(static_cast<ULONG>(sids[0].DomainIndex), domains->Entries);
    }
    LsaFreeMemory(domains);
    LsaFreeMemory(sids);
    return result;
  }
};

TEST_F(AccountLookupTest, NamesResolveToTheirSids) {
  WriteHostFile(R"json({"tessarwickHost": 1, "accounts": [
    {"name": "Administrator", "rid": 500}, {"name": "operator", "rid": 1001},
    {"name": "auditor", "sid": "S-1-5-21-3623811015-3361044348-30300820-1002"},
    {"domain": "CONTOSO", "name": "jdoe", "sid": "S-1-5-21-1-2-3-1105"}]})json");
  const std::wstring machine = L"S-1-5-21-3623811015-3361044348-30300820";
  const std::wstring computer = wmihost::LocalComputerName();
  struct Row {
    std::wstring name;
    std::wstring expected;
  };
  const Row rows[] = {
      {L"Everyone", L"S-1-1-0"},
      {L"SYSTEM", L"S-1-5-18"},
      {L"nt authority\\system", L"S-1-5-18"},
      {L"LOCAL SERVICE", L"S-1-5-19"},
      {L"NT AUTHORITY\\NETWORK SERVICE", L"S-1-5-20"},
      {L"authenticated users", L"S-1-5-11"},
      {L"Administrators", L"S-1-5-32-544"},
      {L"BUILTIN\\Users", L"S-1-5-32-545"},
      {L"builtin\\GUESTS", L"S-1-5-32-546"},
      {L"Administrator", machine + L"-500"},
      {computer + L"\\OPERATOR", machine + L"-1001"},
      {L"auditor", machine + L"-1002"},
      {L"CONTOSO\\jdoe", L"S-1-5-21-1-2-3-1105"},
      {L"contoso\\JDOE", L"S-1-5-21-1-2-3-1105"},
      {L"jdoe", L"error 1332"},   // without a domain part only the local computer is asked
      {L"Guest", L"error 1332"},  // the file's accounts replace the default ones
      {L"BUILTIN\\SYSTEM", L"error 1332"},
      {L"nobody", L"error 1332"},
      {L"", L"error 1332"},
  };
  for (const Row& row : rows) EXPECT_EQ(Lookup(row.name), row.expected) << ::testing::PrintToString(row.name);
  EXPECT_EQ(Lookup(L"jdoe", 0), L"S-1-5-21-1-2-3-1105");
}

TEST_F(AccountLookupTest, TheDefaultLocalAccountsLiveUnderTheMachineSid) {
  const std::wstring machine = L"S-1-5-21-3623811015-3361044348-30300820";
  EXPECT_EQ(Lookup(L"Administrator"), machine + L"-500");
  EXPECT_EQ(Lookup(L"guest"), machine + L"-501");
  EXPECT_EQ(Lookup(L"operator"), machine + L"-1001");
}

TEST_F(AccountLookupTest, ACorruptHostFileFailsToOpenThePolicy) {
  WriteHostFile("[");
  LSA_OBJECT_ATTRIBUTES attributes{};
  LSA_HANDLE policy = nullptr;
  ::testing::internal::CaptureStderr();
  NTSTATUS status = LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES, &policy);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find(HostFile().string()), std::string::npos);
  EXPECT_EQ(LsaNtStatusToWinError(status), 1358u);
  EXPECT_EQ(policy, nullptr);
}

}  // namespace
}  // namespace tessarwick::testing
