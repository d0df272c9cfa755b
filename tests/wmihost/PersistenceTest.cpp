// The host file: written on the first change and read back by the next process, changed under a
// lock so that concurrent writers lose nothing, and left alone when it cannot be read.
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "tests/wmihost/HostFixture.h"

namespace tessarwick::testing {
namespace {

constexpr wchar_t kInheritedRootEntries[] =
    L"(A;CIID;CCDCLCSWRPWPRCWD;;;BA)(A;CIID;CCDCRP;;;NS)(A;CIID;CCDCRP;;;LS)(A;CIID;CCDCRP;;;AU)";

using PersistenceTest = HostTest;

TEST_F(PersistenceTest, AChangeIsWrittenAsReadableJsonAndReadBack) {
  ASSERT_EQ(WriteSddl(Connect(L"root\\CCM").get(), L"O:BAG:BAD:(A;CI;CCWP;;;AU)"), 0);
  std::string text = ReadHostFile();
  EXPECT_NE(text.find("\"name\": \"CCM\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"descriptor\": \"O:BAG:BAD:(A;CI;CCWP;;;AU)"), std::string::npos) << text;
  EXPECT_NE(text.find("\"name\": \"operator\""), std::string::npos) << text;

  // Another process sees the change, the children below it included.
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ComPtr<IWbemServices> policy;
    bool same = SUCCEEDED(Connect(L"root\\CCM\\Policy", policy)) &&
                ReadSddl(policy.get()) == std::wstring(L"O:BAG:BAD:(A;CIID;CCWP;;;AU)") + kInheritedRootEntries;
    policy.reset();
    ::_exit(same ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(PersistenceTest, ConcurrentWritersOfDifferentNamespacesLoseNothing) {
  const wchar_t* targets[] = {L"root\\subscription",    L"root\\DEFAULT",    L"root\\Cli",
                              L"root\\SECURITY",        L"root\\WMI",        L"root\\Interop",
                              L"root\\CIMV2\\Security", L"root\\CCM\\Policy"};
  constexpr int kRounds = 5;
  std::vector<pid_t> children;
  for (std::size_t i = 0; i < std::size(targets); ++i) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      bool ok = true;
      for (int round = 1; round <= kRounds; ++round) {
        ComPtr<IWbemServices> services;
        ok = ok && SUCCEEDED(Connect(targets[i], services));
        std::wstring sddl = L"O:BAG:BAD:(A;;CC;;;S-1-5-21-1-2-3-" + std::to_wstring(1000 + round) + L")";
        ok = ok && services && WriteSddl(services.get(), sddl.c_str()) == 0;
      }
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (const wchar_t* target : targets)
    EXPECT_EQ(ReadSddl(Connect(target).get()),
              std::wstring(L"O:BAG:BAD:(A;;CC;;;S-1-5-21-1-2-3-1005)") + kInheritedRootEntries)
        << ::testing::PrintToString(std::wstring(target));
  // No temporary file is left beside the host file.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(HostFile().parent_path()))
    files += entry.path().filename().string().find(".tmp.") == std::string::npos ? 0 : 1;
  EXPECT_EQ(files, 0);
}

TEST_F(PersistenceTest, AnUnreadableHostFileFailsTheConnectionWithOneLineAndIsNeverOverwritten) {
  struct Row {
    const char* name;
    std::string text;
    std::string fault;  // what the diagnostic says after the file's name
  };
  const Row rows[] = {
      {"not JSON", "{\"tessarwickHost\": 1,", "not valid JSON: parse error at line 1, column 22"},
      {"empty", "", "not valid JSON: parse error at line 1, column 1"},
      {"wrong version", "{\"tessarwickHost\": 2}", "top level: \"tessarwickHost\" must be 1"},
      {"bad descriptor",
       "{\"tessarwickHost\": 1, \"computers\": [{\"name\": \".\", \"namespaces\": {\"name\": \"root\", \"descriptor\": "
       "\"O:XX\"}}]}",
       "computers[0] namespace root: descriptor is not valid SDDL"},
      {"unknown key", "{\"tessarwickHost\": 1, \"comptuers\": []}", "top level: unknown key \"comptuers\""},
      {"lock fault without a status",
       "{\"tessarwickHost\": 1, \"faults\": [{\"namespace\": \"root\", \"call\": \"SafeArrayAccessData\", "
       "\"returnValue\": 5}]}",
       "faults[0]: a SafeArrayAccessData fault needs a \"status\""},
      {"method on a call other than Get",
       "{\"tessarwickHost\": 1, \"faults\": [{\"namespace\": \"root\", \"call\": \"Put\", \"method\": \"SetSD\", "
       "\"status\": \"0x80041001\"}]}",
       "faults[0]: \"method\" is \"GetSD\" or \"SetSD\", and only for a Get fault"},
      {"method that has no out-parameters here",
       "{\"tessarwickHost\": 1, \"faults\": [{\"namespace\": \"root\", \"call\": \"Get\", \"method\": "
       "\"SetSecurityDescriptor\", "
       "\"status\": \"0x80041001\"}]}",
       "faults[0]: \"method\" is \"GetSD\" or \"SetSD\", and only for a Get fault"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteHostFile(row.text);
    ::testing::internal::CaptureStderr();
    ComPtr<IWbemServices> services;
    HRESULT connected = Connect(L"root", services);
    std::string diagnostic = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(connected, static_cast<HRESULT>(WBEM_E_INITIALIZATION_FAILURE));
    std::string prefix = "Tessarwick: host file " + HostFile().string() + ": " + row.fault;
    EXPECT_EQ(diagnostic.substr(0, prefix.size()), prefix);
    EXPECT_EQ(std::count(diagnostic.begin(), diagnostic.end(), '\n'), 1) << diagnostic;
    EXPECT_EQ(ReadHostFile(), row.text);
  }
}

TEST_F(PersistenceTest, AFileThatTurnsCorruptBeforeAWriteIsLeftAsItIs) {
  ComPtr<IWbemServices> services = Connect(L"root\\WMI");
  const std::string corrupt = "{ this is no longer the host";
  WriteHostFile(corrupt);
  ::testing::internal::CaptureStderr();
  UniqueBstr path = Bstr(L"__SystemSecurity");
  ComPtr<IWbemClassObject> object;
  EXPECT_EQ(services->GetObject(path.get(), 0, nullptr, object.put(), nullptr),
            static_cast<HRESULT>(WBEM_E_INITIALIZATION_FAILURE));
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadHostFile(), corrupt);
}

TEST_F(PersistenceTest, AHandWrittenFileNeedsOnlyWhatDiffersFromTheDefaults) {
  WriteHostFile(R"json({
    "tessarwickHost": 1,
    "computers": [
      {"name": ".", "namespaces": {"name": "root", "children": [
        {"name": "Lab", "descriptor": "O:BAG:BAD:P(A;CI;CC;;;WD)", "children": [{"name": "Bench"}]},
        {"name": "Plain"}]}},
      {"name": "SRV1"}
    ]
  })json");
  ComPtr<IWbemServices> root = Connect(L"root");
  EXPECT_EQ(ChildNames(root.get()), (std::vector<std::wstring>{L"Lab", L"Plain"}));
  EXPECT_EQ(ReadSddl(Connect(L"root\\Lab\\Bench").get()), L"O:BAG:BAD:(A;CIID;CC;;;WD)");
  EXPECT_EQ(ReadSddl(Connect(L"root\\Plain").get()), std::wstring(L"O:BAG:BAD:") + kInheritedRootEntries);
  // A computer described without namespaces has the default tree.
  EXPECT_EQ(ChildNames(Connect(L"\\\\srv1\\root\\CCM").get()),
            (std::vector<std::wstring>{L"Policy", L"SoftwareUpdates"}));
}

// The descriptor text the host file holds for each namespace, "computer:root\\a\\b" -> text.
std::map<std::string, std::string> StoredDescriptors(const std::string& hostFile) {
  std::map<std::string, std::string> stored;
  const nlohmann::json host = nlohmann::json::parse(hostFile);
  for (const nlohmann::json& computer : host.at("computers")) {
    std::vector<std::pair<std::string, const nlohmann::json*>> pending{
        {computer.at("name").get<std::string>() + ":root", &computer.at("namespaces")}};
    while (!pending.empty()) {
      auto [path, node] = pending.back();
      pending.pop_back();
      stored[path] = node->value("descriptor", "(none)");
      if (node->contains("children"))
        for (const nlohmann::json& child : node->at("children"))
          pending.emplace_back(path + "\\" + child.at("name").get<std::string>(), &child);
    }
  }
  return stored;
}

// SetSD sets no SACL, and a write of one namespace rewrites the whole file: the SACLs the file
// gives, and the spelling of every descriptor the write does not change, survive it.
TEST_F(PersistenceTest, AWriteKeepsEveryStoredSystemAclAndTheSpellingOfUnchangedDescriptors) {
  WriteHostFile(R"json({
    "tessarwickHost": 1,
    "computers": [
      {"name": ".", "namespaces": {"name": "root", "descriptor": "O:BAG:BAD:(A;CI;CCDCRP;;;BA)S:(AU;SA;WD;;;WD)",
        "children": [
          {"name": "Audited", "descriptor": "O:BAG:BAD:(A;;0x13;;;AU)(A;CIID;CCDCRP;;;BA)S:P(AU;FA;CCDC;;;BA)(AU;SA;WD;;;WD)"},
          {"name": "Target", "descriptor": "O:BAG:BAD:(A;CIID;CCDCRP;;;BA)S:(AU;SA;RC;;;BU)",
           "children": [{"name": "Below", "descriptor": "O:BAG:BAD:(A;;CC;;;WD)(A;CIID;CCDCRP;;;BA)S:(AU;FA;CC;;;WD)"}]},
          {"name": "Plain"}]}},
      {"name": "SRV1", "namespaces": {"name": "root", "descriptor": "O:SYG:SYD:(A;CI;CC;;;SY)S:AI(AU;SAFA;WP;;;WD)"}}
    ]
  })json");
  const std::map<std::string, std::string> before = StoredDescriptors(ReadHostFile());

  ComPtr<IWbemServices> target = Connect(L"root\\Target");
  ASSERT_EQ(WriteSddl(target.get(), L"O:BAG:BAD:(A;CI;RP;;;WD)S:(AU;SA;CCDC;;;AN)"), 0);

  std::map<std::string, std::string> after = StoredDescriptors(ReadHostFile());
  // The written namespace keeps its own SACL, not the written one; below it the inherited entries
  // are worked out again and the SACL stays.
  EXPECT_EQ(after[".:root\\Target"], "O:BAG:BAD:(A;CI;RP;;;WD)(A;CIID;CCDCRP;;;BA)S:(AU;SA;RC;;;BU)");
  EXPECT_EQ(after[".:root\\Target\\Below"],
            "O:BAG:BAD:(A;;CC;;;WD)(A;CIID;RP;;;WD)(A;CIID;CCDCRP;;;BA)S:(AU;FA;CC;;;WD)");
  EXPECT_EQ(ReadSddl(target.get()), L"O:BAG:BAD:(A;CI;RP;;;WD)(A;CIID;CCDCRP;;;BA)S:(AU;SA;RC;;;BU)");
  // Everything else, on this computer and the other, is byte for byte what the file said.
  for (const char* path : {".:root", ".:root\\Audited", "SRV1:root"}) EXPECT_EQ(after[path], before.at(path)) << path;
  EXPECT_EQ(after[".:root\\Plain"], "O:BAG:BAD:(A;CIID;CCDCRP;;;BA)");
  EXPECT_EQ(ReadSddl(Connect(L"root\\Audited").get()),
            L"O:BAG:BAD:(A;;CCDCRP;;;AU)(A;CIID;CCDCRP;;;BA)S:P(AU;FA;CCDC;;;BA)(AU;SA;WD;;;WD)");
}

}  // namespace
}  // namespace tessarwick::testing
