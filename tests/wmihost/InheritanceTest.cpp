// SetSD as the service does it: the written explicit entries are kept, inherited ones are
// recomputed down the subtree, and descriptors a namespace cannot carry are refused.
#include "tests/wmihost/HostFixture.h"

namespace tessarwick::testing {
namespace {

constexpr wchar_t kRootEntries[] =
    L"(A;CI;CCDCLCSWRPWPRCWD;;;BA)(A;CI;CCDCRP;;;NS)(A;CI;CCDCRP;;;LS)(A;CI;CCDCRP;;;AU)";
constexpr wchar_t kInheritedRootEntries[] =
    L"(A;CIID;CCDCLCSWRPWPRCWD;;;BA)(A;CIID;CCDCRP;;;NS)(A;CIID;CCDCRP;;;LS)(A;CIID;CCDCRP;;;AU)";

std::wstring Sddl(const std::wstring& dacl) { return L"O:BAG:BAD:" + dacl; }

constexpr LONG kInvalidParameter = static_cast<LONG>(WBEM_E_INVALID_PARAMETER);
constexpr LONG kInvalidObject = static_cast<LONG>(WBEM_E_INVALID_OBJECT);

using InheritanceTest = HostTest;

TEST_F(InheritanceTest, EntriesWrittenOnANamespaceReachItsSubtreeAsTheirFlagsSay) {
  struct Row {
    const char* name;
    std::wstring written;      // the entry added to root\CCM's explicit ones
    std::wstring onCcm;        // what root\CCM then stores
    std::wstring onPolicy;     // what root\CCM\Policy inherits from it
    std::wstring belowPolicy;  // what a namespace below Policy inherits from Policy
  };
  const std::wstring user = L"S-1-5-21-3623811015-3361044348-30300820-1001";
  const Row rows[] = {
      {"container inherit", L"(A;CI;CCWP;;;" + user + L")", L"(A;CI;CCWP;;;" + user + L")",
       L"(A;CIID;CCWP;;;" + user + L")", L"(A;CIID;CCWP;;;" + user + L")"},
      {"no inheritance", L"(A;;CCWP;;;" + user + L")", L"(A;;CCWP;;;" + user + L")", L"", L""},
      {"no propagation", L"(D;CINP;WP;;;" + user + L")", L"(D;CINP;WP;;;" + user + L")", L"(D;ID;WP;;;" + user + L")",
       L""},
      {"inherit only", L"(A;CIIO;RC;;;" + user + L")", L"(A;CIIO;RC;;;" + user + L")", L"(A;CIID;RC;;;" + user + L")",
       L"(A;CIID;RC;;;" + user + L")"},
      {"inherit only, one level", L"(A;CINPIO;RC;;;" + user + L")", L"(A;CINPIO;RC;;;" + user + L")",
       L"(A;ID;RC;;;" + user + L")", L""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(HostFile());
    {
      // A namespace below Policy, to see how far an entry goes.
      ComPtr<IWbemServices> policy = Connect(L"root\\CCM\\Policy");
      ComPtr<IWbemClassObject> namespaceClass;
      UniqueBstr className = Bstr(L"__NAMESPACE");
      ASSERT_EQ(policy->GetObject(className.get(), 0, nullptr, namespaceClass.put(), nullptr), S_OK);
      ComPtr<IWbemClassObject> instance;
      ASSERT_EQ(namespaceClass->SpawnInstance(0, instance.put()), S_OK);
      UniqueVariant name;
      name->vt = VT_BSTR;
      name->bstrVal = SysAllocString(L"Deep");
      ASSERT_EQ(instance->Put(L"Name", 0, name.get(), 0), S_OK);
      ASSERT_EQ(policy->PutInstance(instance.get(), 0, nullptr, nullptr), S_OK);
    }
    ComPtr<IWbemServices> ccm = Connect(L"root\\CCM");
    ASSERT_EQ(WriteSddl(ccm.get(), Sddl(row.written + kInheritedRootEntries).c_str()), 0);
    EXPECT_EQ(ReadSddl(ccm.get()), Sddl(row.onCcm + kInheritedRootEntries));
    EXPECT_EQ(ReadSddl(Connect(L"root\\CCM\\Policy").get()), Sddl(row.onPolicy + kInheritedRootEntries));
    EXPECT_EQ(ReadSddl(Connect(L"root\\CCM\\SoftwareUpdates").get()), Sddl(row.onPolicy + kInheritedRootEntries));
    EXPECT_EQ(ReadSddl(Connect(L"root\\CCM\\Policy\\Deep").get()), Sddl(row.belowPolicy + kInheritedRootEntries));
    // Namespaces outside the subtree keep what they had.
    EXPECT_EQ(ReadSddl(Connect(L"root\\CIMV2").get()), Sddl(kInheritedRootEntries));
  }
}

TEST_F(InheritanceTest, WrittenInheritedEntriesAndSystemAclAreIgnoredAndOwnerAndGroupKept) {
  ComPtr<IWbemServices> cimv2 = Connect(L"root\\CIMV2");
  // The written ID entry names an account root does not carry: the service drops it and
  // recomputes what CIMV2 inherits from root.
  ASSERT_EQ(WriteSddl(cimv2.get(), L"O:SYG:SYD:(A;;CC;;;WD)(A;CIID;CCDC;;;BU)S:(AU;SA;CC;;;WD)"), 0);
  EXPECT_EQ(ReadSddl(cimv2.get()), std::wstring(L"O:SYG:SYD:(A;;CC;;;WD)") + kInheritedRootEntries);
}

// SetSD does not set a SACL: a namespace that has one keeps it, with its flags, through every
// write, whether the written descriptor carries a SACL of its own or none.
TEST_F(InheritanceTest, ANamespacesOwnSystemAclOutlivesEveryWrite) {
  WriteHostFile(R"json({"tessarwickHost": 1, "computers": [{"name": ".", "namespaces": {"name": "root",
    "children": [{"name": "CIMV2", "descriptor": "O:BAG:BAD:(A;;CC;;;WD)S:PAI(AU;SA;CC;;;WD)(AU;FA;WD;;;BA)"},
    {"name": "WMI"}]}}]})json");
  const std::wstring systemAcl = L"S:PAI(AU;SA;CC;;;WD)(AU;FA;WD;;;BA)";
  ComPtr<IWbemServices> cimv2 = Connect(L"root\\CIMV2");
  EXPECT_EQ(ReadSddl(cimv2.get()), L"O:BAG:BAD:(A;;CC;;;WD)" + systemAcl);
  ASSERT_EQ(WriteSddl(cimv2.get(), L"O:SYG:SYD:(A;;RP;;;WD)S:(AU;SA;DC;;;AN)"), 0);
  EXPECT_EQ(ReadSddl(cimv2.get()), std::wstring(L"O:SYG:SYD:(A;;RP;;;WD)") + kInheritedRootEntries + systemAcl);
  ASSERT_EQ(WriteSddl(cimv2.get(), L"O:BAG:BAD:P(A;;CC;;;BA)"), 0);
  EXPECT_EQ(ReadSddl(cimv2.get()), L"O:BAG:BAD:P(A;;CC;;;BA)" + systemAcl);
  // A namespace that had no SACL gets none from what is written.
  ComPtr<IWbemServices> wmi = Connect(L"root\\WMI");
  ASSERT_EQ(WriteSddl(wmi.get(), L"O:BAG:BAD:(A;;CC;;;BA)S:(AU;SA;DC;;;AN)"), 0);
  EXPECT_EQ(ReadSddl(wmi.get()), std::wstring(L"O:BAG:BAD:(A;;CC;;;BA)") + kInheritedRootEntries);
}

TEST_F(InheritanceTest, AProtectedDaclInheritsNothingAndItsSubtreeInheritsFromIt) {
  ComPtr<IWbemServices> cimv2 = Connect(L"root\\CIMV2");
  ASSERT_EQ(WriteSddl(cimv2.get(), L"O:BAG:BAD:P(A;CI;CCDCRP;;;BA)"), 0);
  EXPECT_EQ(ReadSddl(cimv2.get()), L"O:BAG:BAD:P(A;CI;CCDCRP;;;BA)");
  EXPECT_EQ(ReadSddl(Connect(L"root\\CIMV2\\Security").get()), L"O:BAG:BAD:(A;CIID;CCDCRP;;;BA)");

  // A change on root no longer reaches below the protected namespace.
  ComPtr<IWbemServices> root = Connect(L"root");
  ASSERT_EQ(WriteSddl(root.get(), (std::wstring(L"O:BAG:BAD:") + kRootEntries + L"(A;CI;CC;;;WD)").c_str()), 0);
  EXPECT_EQ(ReadSddl(Connect(L"root\\CIMV2\\Security").get()), L"O:BAG:BAD:(A;CIID;CCDCRP;;;BA)");
  EXPECT_EQ(ReadSddl(Connect(L"root\\WMI").get()),
            std::wstring(L"O:BAG:BAD:") + kInheritedRootEntries + L"(A;CIID;CC;;;WD)");
}

TEST_F(InheritanceTest, DescriptorsANamespaceCannotCarryAreRefusedAndNothingIsStored) {
  struct Row {
    const char* name;
    const wchar_t* sddl;
    LONG expected;
  };
  const Row rows[] = {
      {"no owner", L"G:BAD:(A;;CC;;;BA)", kInvalidParameter},
      {"no group", L"O:BAD:(A;;CC;;;BA)", kInvalidParameter},
      {"no DACL", L"O:BAG:BA", kInvalidParameter},
      {"audit entry in the DACL", L"O:BAG:BAD:(AU;SA;CC;;;BA)", kInvalidParameter},
      {"object inherit is allowed", L"O:BAG:BAD:(A;OICI;CC;;;BA)", 0},
      {"audit flag on an entry", L"O:BAG:BAD:(A;SA;CC;;;BA)", kInvalidParameter},
      {"inherit only without container inherit", L"O:BAG:BAD:(A;IO;CC;;;BA)", kInvalidParameter},
      {"right outside the namespace rights", L"O:BAG:BAD:(A;;CR;;;BA)", kInvalidParameter},
      {"standard right outside the namespace rights", L"O:BAG:BAD:(A;;SD;;;BA)", kInvalidParameter},
      {"generic right", L"O:BAG:BAD:(A;;GA;;;BA)", kInvalidParameter},
      {"full write alone", L"O:BAG:BAD:(A;;LC;;;BA)", kInvalidParameter},
      {"full write with partial write only", L"O:BAG:BAD:(A;;LCSW;;;BA)", kInvalidParameter},
      {"full write with both lesser writes", L"O:BAG:BAD:(A;;LCSWRP;;;BA)", 0},
      {"every namespace right", L"O:BAG:BAD:(D;;CCDCLCSWRPWPDTLORCWD;;;BA)", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(HostFile());
    ComPtr<IWbemServices> wmi = Connect(L"root\\WMI");
    EXPECT_EQ(WriteSddl(wmi.get(), row.sddl), row.expected);
    if (row.expected != 0) {
      EXPECT_EQ(ReadSddl(wmi.get()), std::wstring(L"O:BAG:BAD:") + kInheritedRootEntries);
      EXPECT_FALSE(std::filesystem::exists(HostFile()));
    }
  }
}

TEST_F(InheritanceTest, BytesThatAreNotADescriptorAreRefusedAsAnInvalidObject) {
  ComPtr<IWbemServices> wmi = Connect(L"root\\WMI");
  std::vector<BYTE> valid = SddlBytes(L"O:BAG:BAD:(A;;CC;;;BA)");
  struct Row {
    const char* name;
    std::vector<BYTE> bytes;
  };
  std::vector<BYTE> truncated(valid.begin(), valid.end() - 4);
  std::vector<BYTE> badRevision = valid;
  badRevision[0] = 7;
  const Row rows[] = {
      {"empty", {}}, {"truncated", truncated}, {"wrong revision", badRevision}, {"text", {'O', ':', 'B', 'A'}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(WriteBytes(wmi.get(), row.bytes), kInvalidObject);
  }
  EXPECT_EQ(ReadSddl(wmi.get()), std::wstring(L"O:BAG:BAD:") + kInheritedRootEntries);
}

}  // namespace
}  // namespace tessarwick::testing
