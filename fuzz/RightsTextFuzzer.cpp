// Arbitrary text through rights removal and the ACE reader. REMOVE rewrites the one descriptor a
// namespace has, so it must never lose or invent text outside the trustee's own entries,
// whatever shape the text has; the reader must only ever report rights the command can name.
//
// Input layout: byte 0 holds the request (bit 0: allow or deny, bit 1: /R), bytes 1 to 4 the
// mask to remove (little-endian), and the rest is the text, one byte per character except that
// a byte from 0x80 up takes the next byte with it to make one character from 0x80 to 0x807F.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/NamespaceTarget.h"
#include "editor/AceText.h"
#include "editor/RightsTable.h"

using namespace tessarwick;

namespace {

// The longest growth of one entry when it is rebuilt: the flags "CI", a rights field with every
// row's letters, and the separators, beyond what the matching entry itself had to contain.
constexpr std::size_t kGrowthPerEntry = 32;

[[noreturn]] void Fail(const char* what, const std::wstring& text) {
  std::fprintf(stderr, "rights text invariant broken: %s\ntext: %ls\n", what, text.c_str());
  std::abort();
}

std::wstring TextOf(const WideString& text) {
  return text.IsAbsent() ? std::wstring() : std::wstring(text.Text(), text.Length());
}

std::wstring Decode(const std::uint8_t* data, std::size_t size) {
  std::wstring text;
  for (std::size_t index = 0; index < size; ++index) {
    if (data[index] < 0x80)
      text += static_cast<wchar_t>(data[index]);
    else if (index + 1 < size)
      text += static_cast<wchar_t>(0x80 + (((data[index] & 0x7F) << 8) | data[index + 1])), ++index;
  }
  return text;
}

// The text without every plain entry that names the SID, that is every "(" ... ";;;SID)" span
// with no parenthesis inside. Rights removal changes or drops only such entries, so the rest of
// its result must be the rest of its input, character for character.
std::wstring WithoutEntriesOf(std::wstring_view text, std::wstring_view sid) {
  const std::wstring ending = L";;;" + std::wstring(sid) + L")";
  std::wstring rest;
  std::size_t index = 0;
  while (index < text.size()) {
    if (text[index] == L'(') {
      const std::size_t next = text.find_first_of(L"()", index + 1);
      if (next != std::wstring_view::npos && text[next] == L')' && next + 1 - index >= 1 + ending.size() &&
          text.substr(next + 1 - ending.size(), ending.size()) == ending) {
        index = next + 1;
        continue;
      }
    }
    rest += text[index++];
  }
  return rest;
}

std::uint32_t TableBits() {
  std::uint32_t bits = 0;
  for (const NamespaceRight& right : kNamespaceRights) bits |= right.bit;
  return bits;
}

void CheckReader(const std::wstring& text) {
  bool inheritanceFlag = true;
  const std::uint32_t rights = ParseAceRights(WideString(text.c_str(), text.size()), inheritanceFlag);
  if ((rights & ~TableBits()) != 0) Fail("ParseAceRights reported a right outside the rights table", text);
  if (inheritanceFlag != (text.find(L"CI") != std::wstring::npos))
    Fail("the inheritance flag is not \"CI\" in the text", text);
}

void CheckRemoval(const CNamespaceTarget& target, const std::wstring& sid, bool allowAce, std::uint32_t mask,
                  const std::wstring& text) {
  const WideString input(text.c_str(), text.size());
  const std::wstring output =
      TextOf(target.RemoveTrusteeRights(WideString(sid.c_str(), sid.size()), allowAce, mask, input));
  std::size_t entries = 0;
  for (wchar_t character : text) entries += character == L'(';
  if (output.size() > text.size() + kGrowthPerEntry * entries) Fail("the result grew beyond its bound", text);
  if (WithoutEntriesOf(output, sid) != WithoutEntriesOf(text, sid))
    Fail("text outside the trustee's entries was lost or changed", text);
  if (text.find(sid) == std::wstring::npos && output != text) Fail("a trustee named nowhere changed the text", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const bool allowAce = (data[0] & 1) != 0;
  const CNamespaceTarget target(WideString(L"root"), (data[0] & 2) != 0);
  const std::uint32_t mask = data[1] | (data[2] << 8) | (data[3] << 16) | (static_cast<std::uint32_t>(data[4]) << 24);
  const std::wstring text = Decode(data + 5, size - 5);

  CheckReader(text);

  // A SID the text does not hold: the text must come back as it was.
  std::wstring absentSid = L"S-1-5-21-7-7-7-";
  while (text.find(absentSid) != std::wstring::npos) absentSid += L'7';
  CheckRemoval(target, absentSid, allowAce, mask, text);

  // The SID of the first entry that names one, so that entries do match and get rewritten.
  const std::size_t fields = text.find(L";;;");
  if (fields != std::wstring::npos) {
    const std::size_t close = text.find(L')', fields + 3);
    if (close != std::wstring::npos) {
      const std::wstring sid = text.substr(fields + 3, close - fields - 3);
      if (sid.find(L'(') == std::wstring::npos) CheckRemoval(target, sid, allowAce, mask, text);
    }
  }

  // What BuildAceString writes, the reader reads back: the mask within the table (0x4 brings its
  // letters SW and RP along) and the inheritance flag, for a SID without letters.
  const WideString ace = target.BuildAceString(WideString(L"S-1-5-21-1-2-3-1001"), allowAce, mask);
  bool inheritanceFlag = false;
  std::uint32_t expected = mask & TableBits();
  if ((expected & 0x4) != 0) expected |= 0x18;
  if (ParseAceRights(ace, inheritanceFlag) != expected || inheritanceFlag != target.IncludeSubNamespaces)
    Fail("BuildAceString does not read back", TextOf(ace));
  return 0;
}
