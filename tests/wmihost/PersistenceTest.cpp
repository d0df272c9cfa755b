// The host file: written on the first change and read back by the next process, changed under a
// lock so that concurrent writers lose nothing, and left alone when it cannot be read.
#include <sys/wait.h>
#include <unistd.h>

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
  const wchar_t* targets[] = {L"root\\subscription", L"root\\DEFAULT", L"root\\Cli", L"root\\SECURITY",
                              L"root\\WMI", L"root\\Interop", L"root\\CIMV2\\Security", L"root\\CCM\\Policy"};
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
    EXPECT_EQ(ReadSddl(Connect(target).get()), std::wstring(L"O:BAG:BAD:(A;;CC;;;S-1-5-21-1-2-3-1005)") + kInheritedRootEntries)
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
       "{\"tessarwickHost\": 1, \"computers\": [{\"name\": \".\", \"namespaces\": {\"name\": \"root\", \"descriptor\": \"O:XX\"}}]}",
       "computers[0] namespace root: descriptor is not valid SDDL"},
      {"unknown key", "{\"tessarwickHost\": 1, \"comptuers\": []}", "top level: unknown key \"comptuers\""},
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
  EXPECT_EQ(ChildNames(Connect(L"\\\\srv1\\root\\CCM").get()), (std::vector<std::wstring>{L"Policy", L"SoftwareUpdates"}));
}

}  // namespace
}  // namespace tessarwick::testing
