// System texts that no real message table holds (longer than the buffer, shorter than a line end,
// with an eighth insert) shape what SystemErrorText must do at its limits. Only the stand-in lets
// a test choose the text, so these run on the native build alone; the native-asan build shows that
// none of them reads outside a buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/portable/messages/SystemMessages.h"
#include "wmi/ErrorText.h"

namespace tessarwick {
namespace {

using portable::SystemMessage;

// A code that the system table leaves without a text.
constexpr DWORD kTestCode = 0x80041068;

class StandInMessageTest : public ::testing::Test {
 protected:
  void TearDown() override { portable::SetSupplementaryMessages({}); }

  // The text SystemErrorText makes of `message`.
  std::string Clean(const std::string& message) {
    text_ = message;
    row_[0] = {kTestCode, text_.c_str()};
    portable::SetSupplementaryMessages(row_);
    return SystemErrorText(kTestCode);
  }

 private:
  std::string text_;
  SystemMessage row_[1] = {};
};

// "0123456789abcdefghij..." repeated to `length` characters.
std::string Filler(std::size_t length) {
  static const std::string kAlphabet = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string text;
  while (text.size() < length) text += kAlphabet;
  text.resize(length);
  return text;
}

// Filler with a line end after every ten characters.
std::string FillerInLines(std::size_t characters) {
  std::string text;
  const std::string filler = Filler(characters);
  for (std::size_t index = 0; index < filler.size(); ++index) {
    text += filler[index];
    if (index % 10 == 9) text += "\r\n";
  }
  return text;
}

struct CleaningCase {
  const char* name;
  std::string message;
  std::string expected;
};

TEST_F(StandInMessageTest, CleaningCutsTheLineEndJoinsLinesAndKeeps1023Characters) {
  const std::vector<CleaningCase> cases = {
      {"one line", "Short text.\r\n", "Short text."},
      {"lines joined without a separator", "First.\r\nSecond.\r\nThird.\r\n", "First.Second.Third."},
      {"a bare line feed inside a line", "Left\nRight\r\n", "LeftRight"},
      {"exactly 1023 characters", Filler(1023) + "\r\n", Filler(1023)},
      {"1024 characters cut to 1023", Filler(1024) + "\r\n", Filler(1023)},
      {"far longer than the buffer", Filler(5000) + "\r\n", Filler(1023)},
      {"the limit counts copied characters, not line ends", FillerInLines(1100) + "\r\n", Filler(1023)},
      // Fewer than two characters: nothing to cut, so the text is kept and only line ends go.
      {"empty text", "", ""},
      {"one character", "X", "X"},
      {"a lone line feed", "\n", ""},
      {"only the line end", "\r\n", ""},
      // The cut trusts the closing line end that every system text carries.
      {"two characters without a line end", "ab", ""},
  };
  for (const CleaningCase& entry : cases) {
    EXPECT_EQ(Clean(entry.message), entry.expected) << entry.name;
  }
}

// Inserts 1 to 7 show their placeholders; every later insert number, up to the highest the message
// syntax allows, reads a null entry of the insert array and shows "(null)".
TEST_F(StandInMessageTest, InsertsBeyondTheSeventhReadNullEntriesOfTheArray) {
  EXPECT_EQ(Clean("a%1b%7c%8d%9e%10f%99g\r\n"), "a%1b%7c(null)d(null)e(null)f(null)g");
}

TEST_F(StandInMessageTest, FallbackOfWbemErrorTextKeepsSixtyCharactersOfALongText) {
  Clean(Filler(200) + "\r\n");
  const std::string fallback = WbemErrorText(static_cast<HRESULT>(kTestCode));
  EXPECT_EQ(fallback, "WBEMerr 80041068 " + Filler(60));
  EXPECT_EQ(fallback.size(), 77u);
}

// SystemErrorText cuts two characters off every text, trusting the closing line end that the
// platform's texts carry; a text of the table without one would lose its last two characters.
TEST(StandInMessageTable, EveryTextEndsInALineEndAndEveryCodeHasOneRow) {
  const auto table = portable::SystemMessageTable();
  for (std::size_t index = 0; index < table.size(); ++index) {
    const std::string text = table[index].text;
    EXPECT_GE(text.size(), 3u) << table[index].code;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << table[index].code;
    if (index > 0) {
      EXPECT_LT(table[index - 1].code, table[index].code) << "rows out of order at " << table[index].code;
    }
  }
}

}  // namespace
}  // namespace tessarwick
