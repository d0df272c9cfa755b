#include <gtest/gtest.h>

#include "common/NamespacePath.h"
#include "common/StringList.h"
#include "common/WideString.h"

namespace tessarwick {
namespace {

TEST(WideStringTest, AbsentIsNotEmpty) {
  WideString absent;
  WideString fromNull(static_cast<const wchar_t*>(nullptr));
  WideString empty(L"");
  EXPECT_TRUE(absent.IsAbsent());
  EXPECT_TRUE(fromNull.IsAbsent());
  EXPECT_EQ(absent.Length(), 0u);
  EXPECT_EQ(absent.Text(), nullptr);
  EXPECT_EQ(absent.Ansi(), nullptr);
  EXPECT_EQ(absent.Bstr(), nullptr);
  EXPECT_FALSE(empty.IsAbsent());
  EXPECT_EQ(empty.Length(), 0u);
  EXPECT_STREQ(empty.Text(), L"");
  EXPECT_STREQ(empty.Ansi(), "");
  EXPECT_FALSE(absent == empty);
  EXPECT_TRUE(absent == WideString());
}

TEST(WideStringTest, CopiesShareOneRecordUntilTheLastGoes) {
  WideString original(L"root\\cimv2");
  {
    WideString copy = original;
    EXPECT_EQ(copy.Text(), original.Text());
    EXPECT_EQ(original.ShareCount(), 2);
    WideString moved = std::move(copy);
    EXPECT_EQ(original.ShareCount(), 2);
  }
  EXPECT_EQ(original.ShareCount(), 1);
  const char* ansi = original.Ansi();
  WideString another = original;
  EXPECT_EQ(another.Ansi(), ansi) << "the 8-bit copy is kept with the shared record";
}

TEST(WideStringTest, BstrCarriesTheLengthAndEmbeddedZeros) {
  const wchar_t text[] = {L'a', L'\0', L'b'};
  WideString withZero(text, 3);
  EXPECT_EQ(withZero.Length(), 3u);
  EXPECT_EQ(SysStringLen(withZero.Bstr()), 3u);
}

TEST(WideStringTest, ConcatenationMakesANewRecordAndTreatsAbsentAsEmpty) {
  WideString left(L"root");
  WideString joined = left + L"\\" + WideString(L"cimv2");
  EXPECT_STREQ(joined.Text(), L"root\\cimv2");
  EXPECT_STREQ(left.Text(), L"root");
  EXPECT_STREQ((WideString() + WideString(L"x")).Text(), L"x");
  WideString absentBoth = WideString() + WideString();
  EXPECT_FALSE(absentBoth.IsAbsent());
  EXPECT_EQ(absentBoth.Length(), 0u);
  WideString appended = left;
  appended += L"\\a";
  EXPECT_STREQ(appended.Text(), L"root\\a");
  EXPECT_STREQ(left.Text(), L"root") << "appending to a copy leaves the shared record alone";
}

TEST(WideStringTest, ConvertsToAndFrom8BitText) {
  WideString ascii = WideString::FromAnsi("DOM\\user");
  EXPECT_STREQ(ascii.Text(), L"DOM\\user");
  EXPECT_STREQ(ascii.Ansi(), "DOM\\user");
  EXPECT_TRUE(WideString::FromAnsi(nullptr).IsAbsent());
}

TEST(WideStringBuilderTest, BuildsInOrder) {
  WideStringBuilder builder;
  builder.Append(L"O:BA");
  builder.Append(WideString());
  builder.Append(WideString(L"G:BA"));
  builder.Append(L"D:xyz", 2);
  EXPECT_EQ(builder.Length(), 10u);
  EXPECT_STREQ(builder.Build().Text(), L"O:BAG:BAD:");
}

TEST(StringListTest, KeepsOrderAndSharesElements) {
  StringList list;
  WideString first(L"root\\a");
  list.Append(first);
  list.Append(WideString(L"root\\b"));
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_STREQ(list.At(0).Text(), L"root\\a");
  EXPECT_STREQ(list.At(1).Text(), L"root\\b");
  EXPECT_EQ(list.At(0).Text(), first.Text());
}

struct PathCase {
  const wchar_t* computer;
  const wchar_t* nameSpace;
  const wchar_t* expected;  // null: absent
};

TEST(BuildNamespacePathTest, PutsTheComputerInFront) {
  const PathCase cases[] = {
      {L"srv", L"root", L"\\\\srv\\root"},       {L"srv", nullptr, L"\\\\srv\\"}, {L"", L"root", L"root"},
      {nullptr, L"root\\cimv2", L"root\\cimv2"}, {nullptr, nullptr, nullptr},     {L"", nullptr, nullptr},
  };
  for (const PathCase& row : cases) {
    WideString path = BuildNamespacePath(WideString(row.computer), WideString(row.nameSpace));
    if (row.expected == nullptr) {
      EXPECT_TRUE(path.IsAbsent());
    } else {
      EXPECT_STREQ(path.Text(), row.expected) << "computer " << (row.computer ? "given" : "absent");
    }
  }
}

}  // namespace
}  // namespace tessarwick
