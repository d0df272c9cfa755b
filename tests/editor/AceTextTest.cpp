#include "editor/AceText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "common/NamespaceTarget.h"
#include "tests/editor/EditorText.h"

namespace tessarwick {
namespace {

using test::kTrusteeSid;
using test::TextOf;

struct BuildRow {
  const char* name;
  bool allowAce;
  bool includeSubNamespaces;
  std::uint32_t accessMask;
  const wchar_t* sidText;
  const wchar_t* expected;
};
void PrintTo(const BuildRow& row, std::ostream* out) { *out << row.name; }

class BuildAceStringTest : public ::testing::TestWithParam<BuildRow> {};

TEST_P(BuildAceStringTest, WritesTheEntryText) {
  const BuildRow& row = GetParam();
  const CNamespaceTarget target(L"root", row.includeSubNamespaces);
  const WideString ace = target.BuildAceString(row.sidText, row.allowAce, row.accessMask);
  ASSERT_FALSE(ace.IsAbsent());
  EXPECT_EQ(TextOf(ace), row.expected);
}

const BuildRow kBuildRows[] = {
    {"AllowWithoutInheritanceAndNoRights", true, false, 0x0, kTrusteeSid, L"A;;;;;S-1-5-21-1-2-3-1001"},
    {"DenyWithInheritanceAndNoRights", false, true, 0x0, kTrusteeSid, L"D;CI;;;;S-1-5-21-1-2-3-1001"},
    {"FullWriteIsSixLetters", true, false, 0x4, kTrusteeSid, L"A;;LCSWRP;;;S-1-5-21-1-2-3-1001"},
    {"FullWriteWithPartialAndProviderWriteRepeatsLetters", true, false, 0x1C, kTrusteeSid,
     L"A;;LCSWRPSWRP;;;S-1-5-21-1-2-3-1001"},
    {"AllEightRightsInTableOrder", true, true, 0x6003F, kTrusteeSid,
     L"A;CI;CCDCLCSWRPSWRPWPRCWD;;;S-1-5-21-1-2-3-1001"},
    {"ExecMethodsAndRemoteEnable", true, true, 0x22, kTrusteeSid, L"A;CI;DCWP;;;S-1-5-21-1-2-3-1001"},
    {"SecurityRightsDenied", false, false, 0x60000, kTrusteeSid, L"D;;RCWD;;;S-1-5-21-1-2-3-1001"},
    {"UnnamedBit0x40WritesNoRights", true, false, 0x40, kTrusteeSid, L"A;;;;;S-1-5-21-1-2-3-1001"},
    {"UnnamedBit0x10000WritesNoRights", true, false, 0x10000, kTrusteeSid, L"A;;;;;S-1-5-21-1-2-3-1001"},
    {"UnnamedBitsBesideNamedOnesAreLeftOut", true, false, 0xFFFFFFFF, kTrusteeSid,
     L"A;;CCDCLCSWRPSWRPWPRCWD;;;S-1-5-21-1-2-3-1001"},
    {"SidTextIsAppendedUnchanged", false, true, 0x1, L"BA", L"D;CI;CC;;;BA"},
    {"AbsentSidTextCountsAsEmpty", true, false, 0x1, nullptr, L"A;;CC;;;"},
};
INSTANTIATE_TEST_SUITE_P(Rows, BuildAceStringTest, ::testing::ValuesIn(kBuildRows),
                         [](const auto& info) { return std::string(info.param.name); });

struct ParseRow {
  const char* name;
  const wchar_t* text;
  std::uint32_t expectedMask;
  bool expectedInheritance;
};
void PrintTo(const ParseRow& row, std::ostream* out) { *out << row.name; }

class ParseAceRightsTest : public ::testing::TestWithParam<ParseRow> {};

TEST_P(ParseAceRightsTest, ReadsRightsAndInheritance) {
  const ParseRow& row = GetParam();
  // Start from the opposite of the expected flag, so a call that leaves it alone fails.
  bool inheritanceFlag = !row.expectedInheritance;
  const std::uint32_t mask = ParseAceRights(row.text, inheritanceFlag);
  EXPECT_EQ(mask, row.expectedMask) << std::hex << "mask 0x" << mask;
  EXPECT_EQ(inheritanceFlag, row.expectedInheritance);
}

const ParseRow kParseRows[] = {
    {"FullWriteReadsBackWithPartialAndProviderWrite", L"A;;LCSWRP;;;S-1-5-21-1-2-3-1001", 0x1C, false},
    {"AllRightsInATokenWithInheritance", L"(A;CI;CCDCLCSWRPWPRCWD;;;S-1-5-21-1-2-3-1001)", 0x6003F, true},
    {"LcAndRpWithoutSwBetweenAreNotFullWrite", L"(A;;LCRP;;;S-1-5-21-1-2-3-1001)", 0x10, false},
    {"CiInsideOiciSetsInheritance", L"(A;OICI;CC;;;S-1-5-21-1-2-3-1001)", 0x1, true},
    {"HexadecimalRightsAddNothing", L"(A;;0x6003f;;;S-1-5-21-1-2-3-1001)", 0x0, false},
    {"SidAliasWdCountsAsEditSecurity", L"(A;;CC;;;WD)", 0x40001, false},
    {"LowerCaseLettersAddNothing", L"(A;ci;cc;;;S-1-5-21-1-2-3-1001)", 0x0, false},
    {"RightsTheTableDoesNotNameAddNothing", L"(A;;GAGRSDFA;;;S-1-5-21-1-2-3-1001)", 0x0, false},
    {"EmptyText", L"", 0x0, false},
};
INSTANTIATE_TEST_SUITE_P(Rows, ParseAceRightsTest, ::testing::ValuesIn(kParseRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseAceRights, AbsentTextReadsAsNoRightsWithoutInheritance) {
  bool inheritanceFlag = true;
  EXPECT_EQ(ParseAceRights(WideString(), inheritanceFlag), 0u);
  EXPECT_FALSE(inheritanceFlag);
}

// What BuildAceString writes reads back as the mask restricted to the table's bits, with partial
// and provider write added wherever full write was set, and the target's inheritance setting.
TEST(AceTextRoundTrip, EveryCombinationOfTableBitsReadsBack) {
  constexpr std::uint32_t kTableBits = 0x6003F;
  constexpr std::uint32_t kUnnamedBits = 0x40 | 0x10000 | 0x80000000;
  const std::uint32_t bits[] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x20000, 0x40000};
  for (const bool includeSubNamespaces : {false, true}) {
    const CNamespaceTarget target(L"root", includeSubNamespaces);
    for (const bool allowAce : {false, true}) {
      for (std::uint32_t combination = 0; combination < 256; ++combination) {
        std::uint32_t mask = kUnnamedBits;
        for (int bit = 0; bit < 8; ++bit)
          if ((combination & (1u << bit)) != 0) mask |= bits[bit];
        const std::uint32_t expected = (mask & kTableBits) | ((mask & 0x4) != 0 ? 0x18 : 0);
        const WideString ace = WideString(L"(") + target.BuildAceString(kTrusteeSid, allowAce, mask) + L")";
        bool inheritanceFlag = !includeSubNamespaces;
        EXPECT_EQ(ParseAceRights(ace, inheritanceFlag), expected) << ace.Ansi();
        EXPECT_EQ(inheritanceFlag, includeSubNamespaces) << ace.Ansi();
      }
    }
  }
}

}  // namespace
}  // namespace tessarwick
