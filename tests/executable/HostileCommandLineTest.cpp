// Command lines no administrator means to type, given to the built executable as a separate
// process: very long arguments, lone prefixes, empty arguments, text outside ASCII, thousands of
// switches and a value switch with nothing after it. Each run must end with exit code 0, print
// exactly the expected text and write nothing to standard error (under the sanitizer build the
// executable is instrumented, so a memory fault or a leak would show up there). A run that must
// not change anything leaves the host file byte for byte as it was.
//
// The native build runs every row against a host file made for the test. The Windows build runs
// under wine against wine's own services, so it takes the rows whose outcome both services share
// (the usage text, a namespace neither has) and whose command line fits in the 32,767 characters
// Windows allows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/ExpectedText.h"
#include "tests/support/OutputCapture.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/ScratchFolder.h"

namespace tessarwick::testing {
namespace {

#ifdef _WIN32
constexpr bool kWindowsBuild = true;
#else
constexpr bool kWindowsBuild = false;
#endif

// root with two sub-namespaces, one of them named outside ASCII, and two local accounts, one of
// them named outside ASCII. The host file is UTF-8, as the arguments are.
constexpr const char kHostFile[] = R"json({
  "tessarwickHost": 1,
  "computers": [
    {
      "name": ".",
      "namespaces": {
        "name": "root",
        "descriptor": "O:BAG:BAD:(A;CI;CCDCRP;;;AU)",
        "children": [ { "name": "\u00dcn\u00efc\u00f6d\u00e9" }, { "name": "default" } ]
      }
    }
  ],
  "accounts": [ { "name": "J\u00f6rg", "rid": 1105 }, { "name": "operator", "rid": 1001 } ]
}
)json";
constexpr const char kJoergSid[] = "S-1-5-21-3623811015-3361044348-30300820-1105";
constexpr const char kOperatorSid[] = "S-1-5-21-3623811015-3361044348-30300820-1001";
constexpr const char kUnicodeNamespace[] =
    "root\\\xc3\x9cn\xc3\xaf"
    "c\xc3\xb6"
    "d\xc3\xa9";  // root\Ünïcödé
constexpr const char kInheritedLine[] = "O:BAG:BAD:(A;CIID;CCDCRP;;;AU) \n";
constexpr const char kUnknownAccount[] =
    "LsaLookupNames2 returned 1332 None of the account names given could be mapped to a security identifier.\n";

using Arguments = std::vector<std::string>;

struct HostileRow {
  const char* name;
  Arguments arguments;
  std::string expected;     // the output after the banner
  std::string storedEntry;  // an entry the host file holds afterwards; empty: the file is unchanged
  bool windowsToo;
};
void PrintTo(const HostileRow& row, std::ostream* out) { *out << row.name; }

const std::string kUsage = kExpectedUsage;

std::string Repeat(const std::string& piece, std::size_t count) {
  std::string text;
  text.reserve(piece.size() * count);
  for (std::size_t index = 0; index < count; ++index) text += piece;
  return text;
}

// Ten thousand /M switches, each with its own trustee and right, between the given arguments.
Arguments TenThousandTrustees(Arguments head, const Arguments& tail) {
  Arguments arguments = std::move(head);
  for (int index = 0; index < 10000; ++index) {
    arguments.push_back("/M");
    arguments.push_back("user" + std::to_string(index) + (index % 2 ? ":READ_SECURITY" : ":EXEC_METHODS"));
  }
  arguments.insert(arguments.end(), tail.begin(), tail.end());
  return arguments;
}

std::vector<HostileRow> Rows() {
  const std::string longName(100000, 'a');
  const std::string longComputer(100000, 'c');
  const std::string longTrustee(100000, 'b');
  // 30,000 characters of two bytes each in UTF-8: long, and still within one argument's limit.
  const std::string longUnicode = Repeat("\xc3\xa9", 30000);
  std::vector<HostileRow> rows = {
      {"LoneSlash", {"/"}, kUsage, "", true},
      {"LoneDash", {"-"}, kUsage, "", true},
      {"LoneSlashAfterCompleteSwitches", {"/A", "/N", "root", "/M", "operator:EXEC_METHODS", "/"}, kUsage, "", true},
      {"SwitchLetterOutsideAscii", {"/\xc3\x89"}, kUsage, "", true},
      {"EmptyValueThenUnknownSwitch", {"/N", "", "/Q"}, kUsage, "", true},
      {"ComputerSwitchLast", {"/N", "root", "/C"}, kUsage, "", true},
      {"NamespaceSwitchLast", {"/A", "/M", "operator:EXEC_METHODS", "/N"}, kUsage, "", true},
      {"TrusteeSwitchLast", {"/A", "/N", "root", "/M"}, kUsage, "", true},
      // Each /M takes the next /M as its value: a trustee without /A or /D.
      {"TenThousandTrusteeSwitchesInARow", Arguments(10000, "/M"), kUsage, "", true},
      {"LongArgumentBeforeUnknownSwitch", {"/N", std::string(30000, 'n'), "/?"}, kUsage, "", true},
      {"TenThousandTrusteeSwitchesWithoutType", TenThousandTrustees({}, {"/N", "root"}), kUsage, "", false},

      // An empty argument ends parsing: view mode on the default namespace, root\default.
      {"EmptyArgument", {""}, "Permissions on (null) \n" + std::string(kInheritedLine) + "\n", "", false},
      {"EmptyArguments", {"", "", "/X"}, "Permissions on (null) \n" + std::string(kInheritedLine) + "\n", "", false},
      {"EmptyNamespaceAndComputer",
       {"/N", "", "/C", ""},
       "CWMIQuery::Connect: Failed connecting to namespace:, error:WBEM_E_INVALID_NAMESPACE\n",
       "",
       false},
      // An empty account name is refused before anything connects, without a line.
      {"EmptyTrustee", {"/A", "/M", "", "/N", "root"}, "", "", false},
      {"EmptyTrusteeWithRights", {"/D:REMOVE", "/M", ":EXEC_METHODS", "/N", "root"}, "", "", false},

      {"LongNamespace",
       {"/N", longName},
       "CWMIQuery::Connect: Failed connecting to namespace:" + longName + ", error:WBEM_E_INVALID_NAMESPACE\n",
       "",
       false},
      {"LongNamespaceWithinWindowsLimit",
       {"/N", std::string(30000, 'a')},
       "CWMIQuery::Connect: Failed connecting to namespace:" + std::string(30000, 'a') +
           ", error:WBEM_E_INVALID_NAMESPACE\n",
       "",
       true},
      {"LongComputer",
       {"/C", longComputer, "/N", "root"},
       "CWMIQuery::Connect: Failed connecting to namespace:\\\\" + longComputer +
           "\\root, error:WBEMerr 800706BA The RPC server could not be reached.\n",
       "",
       false},
      // Longer than the security authority's names can be: refused without a lookup or a line.
      {"LongTrustee", {"/A", "/N", "root", "/M", longTrustee + ":EXEC_METHODS"}, "", "", false},
      {"LongTrusteeRemove", {"/A:REMOVE", "/N", "root", "/M", longTrustee + ":EXEC_METHODS"}, "", "", false},
      {"LongNamespaceOutsideAscii",
       {"/N", "root\\" + longUnicode},
       "CWMIQuery::Connect: Failed connecting to namespace:root\\" + longUnicode + ", error:WBEM_E_INVALID_NAMESPACE\n",
       "",
       false},
      {"LongTrusteeOutsideAscii",
       {"/A", "/N", "root", "/M", longUnicode + ":EXEC_METHODS"},
       kUnknownAccount,
       "",
       false},

      {"NamespaceOutsideAscii",
       {"/N", kUnicodeNamespace},
       "Permissions on " + std::string(kUnicodeNamespace) + " \n" + kInheritedLine + "\n",
       "",
       false},
      // Both services know root and no namespace of this name. The line carries the name in the
      // ANSI code page: UTF-8 on the stand-in, 1252 under wine.
      {"UnknownNamespaceOutsideAscii",
       {"/N", "root\\N\xc3\xb6ne"},
       std::string("CWMIQuery::Connect: Failed connecting to namespace:root\\N") +
           (kWindowsBuild ? "\xf6" : "\xc3\xb6") + "ne, error:WBEM_E_INVALID_NAMESPACE\n",
       "",
       true},
      {"AccountOutsideAscii",
       {"/A", "/N", kUnicodeNamespace, "/M", "J\xc3\xb6rg:EXEC_METHODS"},
       std::string(kInheritedLine) + "Write security succeeded on " + kUnicodeNamespace + " for J\xc3\xb6rg.\n",
       "(A;;DC;;;" + std::string(kJoergSid) + ")",
       false},
      {"UnknownAccountOutsideAscii",
       {"/A", "/N", "root", "/M", "\xc5\x9c\xc3\xb8meone:EXEC_METHODS"},
       kUnknownAccount,
       "",
       false},

      // The masks of all ten thousand add up; the last trustee is the one written.
      {"TenThousandTrusteeSwitches", TenThousandTrustees({"/A"}, {"/M", "operator:REMOTE_ENABLE", "/N", "root"}),
       "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \nWrite security succeeded on root for operator.\n",
       "(A;;DCWPRC;;;" + std::string(kOperatorSid) + ")", false},
  };
  std::vector<HostileRow> applicable;
  for (HostileRow& row : rows)
    if (row.windowsToo || !kWindowsBuild) applicable.push_back(std::move(row));
  return applicable;
}

class HostileCommandLineTest : public ::testing::TestWithParam<HostileRow> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(TessarwickExecutable().empty()) << "TESSARWICK_EXE is not set";
    WriteFileText(hostFile_, kHostFile);
  }
  std::string HostFileText() const { return ReadFileText(hostFile_); }

  ScratchFolder scratch_{"tessarwick-hostile"};
  const std::filesystem::path hostFile_ = scratch_.HostFile();
};

TEST_P(HostileCommandLineTest, ExitsWithZeroAndPrintsExactlyTheExpectedText) {
  const HostileRow& row = GetParam();
  const std::string before = HostFileText();
  const ProcessResult result = RunTessarwick(row.arguments, {{"TESSARWICK_HOST_FILE", hostFile_.string()}});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errorOutput, "");
  const std::string expected = std::string(kExpectedBanner) + row.expected;
  EXPECT_EQ(result.output, expected) << FirstDifference(expected, result.output);
  if (row.storedEntry.empty())
    EXPECT_EQ(HostFileText(), before) << "the host file changed";
  else
    EXPECT_NE(HostFileText().find(row.storedEntry), std::string::npos) << HostFileText();
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileCommandLineTest, ::testing::ValuesIn(Rows()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessarwick::testing
