// Where ADD puts the new entry in descriptor text: at the end of the DACL's entries, so an entry
// never lands in the system ACL that the conversion writes after the DACL.
#include "editor/ModifyFlow.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace tessarwick {
namespace {

constexpr const wchar_t* kEntry = L"A;CI;DCWP;;;S-1-5-21-1-2-3-1001";

struct InsertRow {
  const char* name;
  const wchar_t* sddl;
  const wchar_t* expected;
};
void PrintTo(const InsertRow& row, std::ostream* out) { *out << row.name; }

class InsertDaclEntryTest : public ::testing::TestWithParam<InsertRow> {};

TEST_P(InsertDaclEntryTest, PutsTheEntryAfterTheDaclEntries) {
  const InsertRow& row = GetParam();
  const WideString result = InsertDaclEntry(row.sddl, kEntry);
  ASSERT_FALSE(result.IsAbsent());
  EXPECT_EQ(std::wstring(result.Text()), row.expected);
}

const InsertRow kInsertRows[] = {
    {"DaclLastGoesAtTheEnd", L"O:BAG:BAD:(A;CI;CCDCRP;;;AU)",
     L"O:BAG:BAD:(A;CI;CCDCRP;;;AU)(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)"},
    {"SaclAfterDaclGoesBeforeIt", L"O:BAG:BAD:(A;CI;CCDCRP;;;AU)S:(AU;SA;CC;;;WD)",
     L"O:BAG:BAD:(A;CI;CCDCRP;;;AU)(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)S:(AU;SA;CC;;;WD)"},
    {"SaclWithFlagsGoesBeforeIt", L"O:BAG:BAD:AI(A;CIID;CC;;;AU)S:AI(AU;CISA;WP;;;WD)",
     L"O:BAG:BAD:AI(A;CIID;CC;;;AU)(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)S:AI(AU;CISA;WP;;;WD)"},
    {"EmptyDaclBeforeSaclGetsItsFirstEntry", L"O:BAG:BAD:PAIS:(AU;SA;CC;;;WD)",
     L"O:BAG:BAD:PAI(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)S:(AU;SA;CC;;;WD)"},
    {"EmptyDaclLast", L"O:BAG:BAD:", L"O:BAG:BAD:(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)"},
    {"DuplicateIsAppendedNotMerged", L"O:BAG:BAD:(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)",
     L"O:BAG:BAD:(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)"},
    {"AllowAfterDenyIsNotReordered", L"O:BAG:BAD:(D;;CC;;;WD)",
     L"O:BAG:BAD:(D;;CC;;;WD)(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)"},
    // Owner and group aliases that end in S are values, not the SACL tag: only a letter before a
    // colon outside an entry is a tag.
    {"AliasEndingInSIsNotATag", L"O:PSG:LSD:(A;;CC;;;PS)", L"O:PSG:LSD:(A;;CC;;;PS)(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)"},
    // A conditional entry's quoted string may hold parentheses and "S:" of its own.
    {"QuotedTextInsideAnEntryIsSkipped", L"O:BAG:BAD:(XA;;FX;;;WD;(@User.Title==\"S:)(\"))S:(AU;SA;CC;;;WD)",
     L"O:BAG:BAD:(XA;;FX;;;WD;(@User.Title==\"S:)(\"))(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)S:(AU;SA;CC;;;WD)"},
    // Without a DACL part nothing is repaired: the entry stands where the conversion refuses it.
    {"NoDaclBeforeSaclIsNotRepaired", L"O:BAG:BAS:(AU;SA;CC;;;WD)",
     L"O:BAG:BA(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)S:(AU;SA;CC;;;WD)"},
    {"NoDaclAtAllIsNotRepaired", L"O:BAG:BA", L"O:BAG:BA(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)"},
    {"EmptyText", L"", L"(A;CI;DCWP;;;S-1-5-21-1-2-3-1001)"},
};
INSTANTIATE_TEST_SUITE_P(Shapes, InsertDaclEntryTest, ::testing::ValuesIn(kInsertRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessarwick
