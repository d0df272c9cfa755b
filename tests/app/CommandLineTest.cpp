// The switch parser and the choice of mode, run through RunCommand with recorders in place of the
// two operations, so that what each operation would receive is checked exactly.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "tests/app/ExpectedText.h"
#include "tests/support/OutputCapture.h"

namespace tessarwick {
namespace {

struct Call {
  std::string mode;  // "view", "modify" or "usage"
  std::optional<std::wstring> nameSpace;
  bool includeSubNamespaces = false;
  std::optional<std::wstring> computer;
  std::optional<std::wstring> trustee;
  bool allowAce = false;
  std::uint32_t accessMask = 0;
  bool addRights = true;
};

std::optional<std::wstring> Optional(const WideString& text) {
  if (text.IsAbsent()) return std::nullopt;
  return std::wstring(text.Text(), text.Length());
}

class RecordingOperations : public CommandOperations {
 public:
  void View(CNamespaceTarget& target, const WideString& computer) override {
    Call call;
    call.mode = "view";
    call.nameSpace = Optional(target.Namespace);
    call.includeSubNamespaces = target.IncludeSubNamespaces;
    call.computer = Optional(computer);
    calls.push_back(call);
  }
  void Modify(CNamespaceTarget& target, const WideString& computer, const WideString& trustee, bool allowAce,
              std::uint32_t accessMask, bool addRights) override {
    Call call;
    call.mode = "modify";
    call.nameSpace = Optional(target.Namespace);
    call.includeSubNamespaces = target.IncludeSubNamespaces;
    call.computer = Optional(computer);
    call.trustee = Optional(trustee);
    call.allowAce = allowAce;
    call.accessMask = accessMask;
    call.addRights = addRights;
    calls.push_back(call);
  }
  std::vector<Call> calls;
};

struct RunResult {
  std::string output;
  int exitCode;
  std::vector<Call> calls;
};

RunResult RunWith(std::vector<std::wstring> arguments) {
  arguments.insert(arguments.begin(), L"Tessarwick.exe");
  std::vector<wchar_t*> argv;
  for (std::wstring& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  RecordingOperations operations;
  testing::OutputCapture capture;
  int exitCode = RunCommand(static_cast<int>(arguments.size()), argv.data(), operations);
  return {capture.Text(), exitCode, operations.calls};
}

const std::string kBannerAndUsage = std::string(testing::kExpectedBanner) + testing::kExpectedUsage;

struct ParserCase {
  const char* name;
  std::vector<std::wstring> arguments;
  std::optional<Call> expected;  // nullopt: the usage text and no operation
};

Call View(std::optional<std::wstring> nameSpace, bool recurse = false, std::optional<std::wstring> computer = {}) {
  Call call;
  call.mode = "view";
  call.nameSpace = std::move(nameSpace);
  call.includeSubNamespaces = recurse;
  call.computer = std::move(computer);
  return call;
}

Call Modify(std::wstring trustee, bool allow, std::uint32_t mask, bool add, std::optional<std::wstring> nameSpace = {},
            bool recurse = false, std::optional<std::wstring> computer = {}) {
  Call call = View(std::move(nameSpace), recurse, std::move(computer));
  call.mode = "modify";
  call.trustee = std::move(trustee);
  call.allowAce = allow;
  call.accessMask = mask;
  call.addRights = add;
  return call;
}

const ParserCase kParserCases[] = {
    {"no arguments", {}, std::nullopt},
    {"/r", {L"/N", L"root", L"/r"}, View(L"root", true)},
    {"-R", {L"/N", L"root", L"-R"}, View(L"root", true)},
    {"/Recurse", {L"/N", L"root", L"/Recurse"}, View(L"root", true)},
    {"-recursive", {L"/N", L"root", L"-recursive"}, View(L"root", true)},
    {"-n is /N", {L"-n", L"root"}, View(L"root")},
    {"/Computer acts as /C", {L"/Computer", L"srv", L"/N", L"root"}, View(L"root", false, L"srv")},
    {"/A:add is not a keyword", {L"/A:add", L"/M", L"u:EXEC_METHODS"}, Modify(L"u", true, 0x2, true)},
    {"/D:Remove is not a keyword", {L"/D:Remove", L"/M", L"u:EXEC_METHODS"}, Modify(L"u", false, 0x2, true)},
    {"/A:REMOVE then /D keeps REMOVE", {L"/A:REMOVE", L"/D", L"/M", L"u:CC"}, Modify(L"u", false, 0, false)},
    {"/A then /D gives deny", {L"/A", L"/D", L"/M", L"u"}, Modify(L"u", false, 0, true)},
    {"/D then /A gives allow", {L"/D", L"/A", L"/M", L"u"}, Modify(L"u", true, 0, true)},
    {"/A:ADDREMOVE selects ADD", {L"/A:REMOVE", L"/A:ADDREMOVE", L"/M", L"u"}, Modify(L"u", true, 0, true)},
    {"/D:REMOVE", {L"/D:REMOVE", L"/M", L"u"}, Modify(L"u", false, 0, false)},
    {"the type after the last colon", {L"/A:REMOVE:x", L"/M", L"u"}, Modify(L"u", true, 0, true)},
    {"/A: then ADD as an argument ends parsing",
     {L"/M", L"u", L"/A:REMOVE", L"/A:", L"ADD"},
     Modify(L"u", true, 0, false)},
    {"trustee with domain and two rights",
     {L"/A", L"/M", L"DOM\\user:READ_SECURITY|EDIT_SECURITY"},
     Modify(L"DOM\\user", true, 0x60000, true)},
    {"trustee holding a colon", {L"/A", L"/M", L"a:b:EXEC_METHODS"}, Modify(L"a:b", true, 0x2, true)},
    {"/M without a colon", {L"/A", L"/M", L"DOM\\user"}, Modify(L"DOM\\user", true, 0, true)},
    {"lower-case keywords add nothing", {L"/A", L"/M", L"u:exec_methods"}, Modify(L"u", true, 0, true)},
    {"a keyword inside other text counts", {L"/A", L"/M", L"u:XEXEC_METHODSX"}, Modify(L"u", true, 0x2, true)},
    {"every keyword",
     {L"/A", L"/M",
      L"u:EXEC_METHODS,FULL_WRITE PARTIAL_WRITE;PROVIDER_WRITE|ENABLE_ACCOUNT|REMOTE_ENABLE|READ_SECURITY|EDIT_SECURITY"},
     Modify(L"u", true, 0x6003F, true)},
    {"masks of several /M add up, the last trustee wins",
     {L"/M", L"u1:EXEC_METHODS", L"/M", L"u2:REMOTE_ENABLE", L"/A"},
     Modify(L"u2", true, 0x22, true)},
    {"a later /M without a colon keeps the mask",
     {L"/M", L"u1:EXEC_METHODS", L"/M", L"u2", L"/A"},
     Modify(L"u2", true, 0x2, true)},
    {"/M without /A or /D prints the usage", {L"/M", L"u:EXEC_METHODS", L"/N", L"root"}, std::nullopt},
    {"/A:ADD without /M is view mode", {L"/A:ADD", L"/N", L"root"}, View(L"root")},
    {"parsing stops at a plain argument", {L"/N", L"root", L"extra", L"/R"}, View(L"root")},
    {"an empty argument stops parsing", {L"/N", L"root", L"", L"/R"}, View(L"root")},
    {"/C takes the next argument whatever it is", {L"/C", L"/N"}, View(std::nullopt, false, L"/N")},
    {"empty values are not absent", {L"/C", L"", L"/N", L""}, View(L"", false, L"")},
    {"no switch at all is view mode", {L"root"}, View(std::nullopt)},
    {"/X prints the usage", {L"/N", L"root", L"/X"}, std::nullopt},
    {"/B prints the usage", {L"/N", L"root", L"/B"}, std::nullopt},
    {"/Q prints the usage", {L"/Q"}, std::nullopt},
    {"/E prints the usage", {L"/A", L"/M", L"u", L"/E"}, std::nullopt},
    {"/1 prints the usage", {L"/1"}, std::nullopt},
    {"a lone / prints the usage", {L"/"}, std::nullopt},
    {"a lone - prints the usage", {L"-"}, std::nullopt},
    {"/S is outside A to R", {L"/S"}, std::nullopt},
    {"non-ASCII letters do not fold", {L"/\u00e9"}, std::nullopt},
    {"/N given last prints the usage", {L"/A", L"/M", L"u:EXEC_METHODS", L"/N"}, std::nullopt},
    {"/C given last prints the usage", {L"/N", L"root", L"/C"}, std::nullopt},
    {"/M given last prints the usage", {L"/A", L"/M"}, std::nullopt},
    {"full modify request",
     {L"/C", L"srv", L"/A:ADD", L"/N", L"Root\\CCM", L"/M", L"DOM\\svc:EXEC_METHODS|REMOTE_ENABLE", L"/R"},
     Modify(L"DOM\\svc", true, 0x22, true, L"Root\\CCM", true, L"srv")},
};

class ParserTest : public ::testing::TestWithParam<ParserCase> {};

TEST_P(ParserTest, ChoosesTheModeAndHandsOnTheSettings) {
  const ParserCase& row = GetParam();
  RunResult result = RunWith(row.arguments);
  EXPECT_EQ(result.exitCode, 0);
  if (!row.expected) {
    EXPECT_TRUE(result.calls.empty());
    EXPECT_EQ(result.output, kBannerAndUsage) << testing::FirstDifference(kBannerAndUsage, result.output);
    return;
  }
  EXPECT_EQ(result.output, testing::kExpectedBanner);
  ASSERT_EQ(result.calls.size(), 1u);
  const Call& actual = result.calls[0];
  const Call& expected = *row.expected;
  EXPECT_EQ(actual.mode, expected.mode);
  EXPECT_EQ(actual.nameSpace, expected.nameSpace);
  EXPECT_EQ(actual.includeSubNamespaces, expected.includeSubNamespaces);
  EXPECT_EQ(actual.computer, expected.computer);
  EXPECT_EQ(actual.trustee, expected.trustee);
  if (expected.mode == "modify") {
    EXPECT_EQ(actual.allowAce, expected.allowAce);
    EXPECT_EQ(actual.accessMask, expected.accessMask);
    EXPECT_EQ(actual.addRights, expected.addRights);
  }
}

std::string RowName(const ::testing::TestParamInfo<ParserCase>& info) {
  std::string name;
  for (const char* c = info.param.name; *c != '\0'; ++c)
    name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Switches, ParserTest, ::testing::ValuesIn(kParserCases), RowName);

TEST(ParserTest, CutsTheTrusteeValueInPlaceWithoutCopying) {
  std::wstring value = L"DOM\\user:EXEC_METHODS";
  std::wstring program = L"Tessarwick.exe", allow = L"/A", m = L"/M";
  wchar_t* argv[] = {program.data(), allow.data(), m.data(), value.data(), nullptr};
  ParsedCommandLine parsed = ParseCommandLine(4, argv);
  EXPECT_EQ(parsed.settings.Trustee, value.data());
  EXPECT_EQ(value[8], L'\0');
  EXPECT_STREQ(parsed.settings.Trustee, L"DOM\\user");
}

TEST(ParserTest, TenThousandTrusteeSwitchesAddUp) {
  std::vector<std::wstring> arguments{L"/A"};
  for (int i = 0; i < 10000; ++i) {
    arguments.push_back(L"/M");
    arguments.push_back(i % 2 ? L"u" + std::to_wstring(i) + L":REMOTE_ENABLE" : L"u" + std::to_wstring(i) + L":CC");
  }
  arguments.push_back(L"/M");
  arguments.push_back(L"last:EXEC_METHODS");
  RunResult result = RunWith(arguments);
  ASSERT_EQ(result.calls.size(), 1u);
  EXPECT_EQ(result.calls[0].trustee, std::optional<std::wstring>(L"last"));
  EXPECT_EQ(result.calls[0].accessMask, 0x22u);
}

TEST(UsageTest, PrintsTheUsageTextByteForByte) {
  testing::OutputCapture capture;
  PrintUsage();
  EXPECT_EQ(capture.Text(), testing::kExpectedUsage)
      << testing::FirstDifference(testing::kExpectedUsage, capture.Text());
}

TEST(UsageTest, NoArgumentsPrintTheBannerThenTheUsageOnce) {
  RunResult result = RunWith({});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, kBannerAndUsage) << testing::FirstDifference(kBannerAndUsage, result.output);
  EXPECT_TRUE(result.calls.empty());
}

}  // namespace
}  // namespace tessarwick
