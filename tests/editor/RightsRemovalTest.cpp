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

WideString Remove(bool includeSubNamespaces, bool allowAce, std::uint32_t accessMask, const WideString& sddl) {
  const CNamespaceTarget target(L"root", includeSubNamespaces);
  return target.RemoveTrusteeRights(kTrusteeSid, allowAce, accessMask, sddl);
}

TEST(RemoveTrusteeRights, WorkedExample) {
  const WideString sddl =
      L"O:BAG:BAD:(A;CI;CCDCRP;;;S-1-5-21-1-2-3-1001)(A;CI;DC;;;S-1-5-21-1-2-3-1001)"
      L"(A;CI;CC;;;S-1-5-21-1-2-3-1001)(A;;CCWP;;;S-1-5-21-1-2-3-1001)(D;CI;DC;;;S-1-5-21-1-2-3-1001)"
      L"(A;CI;CCDCRP;;;AU)";
  const WideString result = Remove(true, true, 0x2, sddl);
  EXPECT_EQ(TextOf(result),
            L"O:BAG:BAD:(A;CI;CCRP;;;S-1-5-21-1-2-3-1001)(A;CI;CC;;;S-1-5-21-1-2-3-1001)"
            L"(A;CI;CCWP;;;S-1-5-21-1-2-3-1001)(D;CI;DC;;;S-1-5-21-1-2-3-1001)(A;CI;CCDCRP;;;AU)");
}

struct RemovalRow {
  const char* name;
  bool includeSubNamespaces;
  bool allowAce;
  std::uint32_t accessMask;
  const wchar_t* sddl;
  const wchar_t* expected;
};
void PrintTo(const RemovalRow& row, std::ostream* out) { *out << row.name; }

class RemoveTrusteeRightsTest : public ::testing::TestWithParam<RemovalRow> {};

TEST_P(RemoveTrusteeRightsTest, GivesTheExpectedText) {
  const RemovalRow& row = GetParam();
  const WideString result = Remove(row.includeSubNamespaces, row.allowAce, row.accessMask, row.sddl);
  ASSERT_FALSE(result.IsAbsent());
  EXPECT_EQ(TextOf(result), row.expected);
}

std::string RowName(const ::testing::TestParamInfo<RemovalRow>& info) { return info.param.name; }

// Text in the shape the descriptor converter writes: a prefix, then the DACL's entries.
const RemovalRow kConverterShapeRows[] = {
    {"TextWithoutParenthesisIsUnchanged", true, true, 0x2, L"O:BAG:BAD:", L"O:BAG:BAD:"},
    {"TextBeginningWithTheDroppedTokenBecomesEmpty", true, true, 0x2, L"(A;CI;DC;;;S-1-5-21-1-2-3-1001)", L""},
    {"EveryTokenDroppedLeavesThePrefix", true, true, 0x2, L"O:BAG:BAD:(A;CI;DC;;;S-1-5-21-1-2-3-1001)", L"O:BAG:BAD:"},
    {"NoTokenMatches", true, true, 0x1, L"O:BAG:BAD:(A;CI;CCDC;;;AU)(A;CI;CCDCLCSWRPWPRCWD;;;BA)",
     L"O:BAG:BAD:(A;CI;CCDC;;;AU)(A;CI;CCDCLCSWRPWPRCWD;;;BA)"},
    {"EmptyMaskStillBringsInheritanceInLine", true, true, 0x0,
     L"O:BAG:BAD:(A;;CC;;;S-1-5-21-1-2-3-1001)(A;CI;WP;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:(A;CI;CC;;;S-1-5-21-1-2-3-1001)(A;CI;WP;;;S-1-5-21-1-2-3-1001)"},
    {"EmptyMaskWithoutInheritanceClearsCi", false, true, 0x0,
     L"O:BAG:BAD:(A;;CC;;;S-1-5-21-1-2-3-1001)(A;CI;WP;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:(A;;CC;;;S-1-5-21-1-2-3-1001)(A;;WP;;;S-1-5-21-1-2-3-1001)"},
    {"FlagsOtherThanCiAreLostOnRebuild", true, true, 0x2, L"(A;OICI;CCDC;;;S-1-5-21-1-2-3-1001)",
     L"(A;CI;CC;;;S-1-5-21-1-2-3-1001)"},
    {"RightsTheTableDoesNotNameAreLostOnRebuild", false, true, 0x2, L"(A;;CCDCSD;;;S-1-5-21-1-2-3-1001)",
     L"(A;;CC;;;S-1-5-21-1-2-3-1001)"},
    {"UnchangedMatchKeepsItsOtherFlagsAndRights", true, true, 0x2, L"O:BAG:BAD:(A;OICI;CCSD;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:(A;OICI;CCSD;;;S-1-5-21-1-2-3-1001)"},
    {"HexadecimalRightsAreDroppedWithAnyMask", true, true, 0x2, L"O:BAG:BAD:(A;CI;0x6003f;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:"},
    {"HexadecimalRightsAreDroppedWithAnEmptyMask", true, true, 0x0, L"O:BAG:BAD:(A;CI;0x6003f;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:"},
    {"SidAliasNeverMatchesSidText", true, true, 0x1, L"O:BAG:BAD:(A;CI;CC;;;BA)", L"O:BAG:BAD:(A;CI;CC;;;BA)"},
    {"LongerSidEndingLikeTheTrusteeDoesNotMatch", true, true, 0x1, L"O:BAG:BAD:(A;CI;CC;;;S-1-5-21-1-2-3-11001)",
     L"O:BAG:BAD:(A;CI;CC;;;S-1-5-21-1-2-3-11001)"},
    {"SidStartingLikeTheTrusteeDoesNotMatch", true, true, 0x1, L"O:BAG:BAD:(A;CI;CC;;;S-1-5-21-1-2-3-10011)",
     L"O:BAG:BAD:(A;CI;CC;;;S-1-5-21-1-2-3-10011)"},
    {"EntryWithAnObjectTypeDoesNotMatch", true, true, 0x1,
     L"O:BAG:BAD:(A;CI;CC;bf967aba-0de6-11d0-a285-00aa003049e2;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:(A;CI;CC;bf967aba-0de6-11d0-a285-00aa003049e2;;S-1-5-21-1-2-3-1001)"},
    {"RemovingPartialWriteKeepsSwOfFullWrite", true, true, 0x8, L"(A;CI;CCDCLCSWRPWPRCWD;;;S-1-5-21-1-2-3-1001)",
     L"(A;CI;CCDCLCSWRPRPWPRCWD;;;S-1-5-21-1-2-3-1001)"},
    {"RemovingFullWrite", true, true, 0x4, L"(A;CI;CCDCLCSWRPWPRCWD;;;S-1-5-21-1-2-3-1001)",
     L"(A;CI;CCDCSWRPWPRCWD;;;S-1-5-21-1-2-3-1001)"},
    {"DenyRequestLeavesAllowEntries", true, false, 0x1,
     L"O:BAG:BAD:(A;CI;CC;;;S-1-5-21-1-2-3-1001)(D;CI;CCDC;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:(A;CI;CC;;;S-1-5-21-1-2-3-1001)(D;CI;DC;;;S-1-5-21-1-2-3-1001)"},
    {"AllowRequestLeavesDenyEntries", true, true, 0x1,
     L"O:BAG:BAD:(A;CI;CC;;;S-1-5-21-1-2-3-1001)(D;CI;CCDC;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:(D;CI;CCDC;;;S-1-5-21-1-2-3-1001)"},
    {"DaclFlagsInThePrefixPass", true, true, 0x2, L"O:BAG:BAD:PAI(A;CI;CCDC;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:PAI(A;CI;CC;;;S-1-5-21-1-2-3-1001)"},
    {"TokensKeepTheirOrder", true, true, 0x20,
     L"D:(A;CI;WP;;;AU)(A;CI;CCWP;;;S-1-5-21-1-2-3-1001)(A;CI;WP;;;BA)(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)",
     L"D:(A;CI;WP;;;AU)(A;CI;CC;;;S-1-5-21-1-2-3-1001)(A;CI;WP;;;BA)(A;CI;DC;;;S-1-5-21-1-2-3-1001)"},
};
INSTANTIATE_TEST_SUITE_P(ConverterShape, RemoveTrusteeRightsTest, ::testing::ValuesIn(kConverterShapeRows), RowName);

// Text outside that shape: whatever is not one of the DACL's plain entries is copied where it
// stands, and the DACL's entries are still edited.
const RemovalRow kOtherShapeRows[] = {
    {"SaclAfterTheDaclPassesInPlace", true, true, 0x2,
     L"O:BAG:BAD:(A;CI;CCDC;;;S-1-5-21-1-2-3-1001)(A;CI;CC;;;AU)S:AI(AU;SA;CCDC;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:(A;CI;CC;;;S-1-5-21-1-2-3-1001)(A;CI;CC;;;AU)S:AI(AU;SA;CCDC;;;S-1-5-21-1-2-3-1001)"},
    {"SaclEntryThatReadsLikeTheTrusteesEntryIsNotEdited", true, true, 0x2,
     L"O:BAG:BAD:(A;CI;CCDC;;;S-1-5-21-1-2-3-1001)S:(A;CI;CCDC;;;S-1-5-21-1-2-3-1001)(ML;;NW;;;LW)",
     L"O:BAG:BAD:(A;CI;CC;;;S-1-5-21-1-2-3-1001)S:(A;CI;CCDC;;;S-1-5-21-1-2-3-1001)(ML;;NW;;;LW)"},
    {"SaclWithFlagsAloneAfterDroppedEntries", true, true, 0x2, L"O:BAG:BAD:(A;CI;DC;;;S-1-5-21-1-2-3-1001)S:PAI",
     L"O:BAG:BAD:S:PAI"},
    {"DaclAfterTheSaclIsStillEdited", true, true, 0x2,
     L"O:BAG:BAS:(A;CI;DC;;;S-1-5-21-1-2-3-1001)D:(A;CI;CCDC;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAS:(A;CI;DC;;;S-1-5-21-1-2-3-1001)D:(A;CI;CC;;;S-1-5-21-1-2-3-1001)"},
    {"ConditionalEntryIsOneToken", true, true, 0x2,
     L"O:BAG:BAD:(XA;CI;CCDC;;;S-1-5-21-1-2-3-1001;(@User.Title == \"PM\"))(A;CI;CCDC;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:(XA;CI;CCDC;;;S-1-5-21-1-2-3-1001;(@User.Title == \"PM\"))(A;CI;CC;;;S-1-5-21-1-2-3-1001)"},
    {"ConditionalEntryHoldingBothPatternsKeepsItsCondition", true, true, 0x2,
     L"O:BAG:BAD:(XA;CI;CCDC;;;S-1-5-21-1-2-3-1001;(@User.Note == \"(A;;;;;S-1-5-21-1-2-3-1001)\"))",
     L"O:BAG:BAD:(XA;CI;CCDC;;;S-1-5-21-1-2-3-1001;(@User.Note == \"(A;;;;;S-1-5-21-1-2-3-1001)\"))"},
    {"QuotedParenthesisInAConditionDoesNotHideLaterEntries", true, true, 0x2,
     L"D:(XA;;CC;;;S-1-1-0;(@User.Title == \"a(b\"))(A;CI;CCDC;;;S-1-5-21-1-2-3-1001)",
     L"D:(XA;;CC;;;S-1-1-0;(@User.Title == \"a(b\"))(A;CI;CC;;;S-1-5-21-1-2-3-1001)"},
    {"StrayQuoteInAPlainEntryDoesNotHideLaterEntries", true, true, 0x2,
     L"D:(A;CI;CC\";;;AU)(A;CI;CCDC;;;S-1-5-21-1-2-3-1001)", L"D:(A;CI;CC\";;;AU)(A;CI;CC;;;S-1-5-21-1-2-3-1001)"},
    {"UnclosedEntryAtTheEndIsKept", true, true, 0x2,
     L"O:BAG:BAD:(A;CI;CCDC;;;S-1-5-21-1-2-3-1001)(A;CI;DC;;;S-1-5-21-1-2-3-1001",
     L"O:BAG:BAD:(A;CI;CC;;;S-1-5-21-1-2-3-1001)(A;CI;DC;;;S-1-5-21-1-2-3-1001"},
    {"StrayOpeningParenthesisKeepsWhatFollows", true, true, 0x2, L"O:BAG:BAD:((A;CI;DC;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:((A;CI;DC;;;S-1-5-21-1-2-3-1001)"},
    {"StrayTextBetweenAndAfterTokensStaysInPlace", true, true, 0x2,
     L"O:BAG:BAD:(A;CI;CCDC;;;S-1-5-21-1-2-3-1001) between (A;CI;DC;;;S-1-5-21-1-2-3-1001)(A;CI;CC;;;AU) after",
     L"O:BAG:BAD:(A;CI;CC;;;S-1-5-21-1-2-3-1001) between (A;CI;CC;;;AU) after"},
    {"StrayClosingParenthesesStayInPlace", true, true, 0x2, L"O:BAG:BAD:)(A;CI;CCDC;;;S-1-5-21-1-2-3-1001))",
     L"O:BAG:BAD:)(A;CI;CC;;;S-1-5-21-1-2-3-1001))"},
};
INSTANTIATE_TEST_SUITE_P(OtherShape, RemoveTrusteeRightsTest, ::testing::ValuesIn(kOtherShapeRows), RowName);

TEST(RemoveTrusteeRights, AbsentTextComesBackAbsent) { EXPECT_TRUE(Remove(true, true, 0x2, WideString()).IsAbsent()); }

}  // namespace
}  // namespace tessarwick
