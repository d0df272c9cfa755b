#include "editor/AceText.h"

#include <string_view>

#include "common/NamespaceTarget.h"
#include "editor/RightsTable.h"

namespace tessarwick {

// "type;flags;rights;object;inherited object;SID". The object fields stay empty, and CI is the
// only flag written: it makes the namespaces below inherit the entry when /R was given.
WideString CNamespaceTarget::BuildAceString(const WideString& sidText, bool allowAce, std::uint32_t accessMask) const {
  WideStringBuilder ace;
  ace.Append(allowAce ? L"A;" : L"D;");
  ace.Append(IncludeSubNamespaces ? L"CI;" : L";");
  // Bits the table does not name are left out rather than written in hexadecimal.
  for (const NamespaceRight& right : kNamespaceRights)
    if ((accessMask & right.bit) != 0) ace.Append(right.letters);
  ace.Append(L";;;");
  ace.Append(sidText);
  return ace.Build();
}

std::uint32_t ParseAceRights(const WideString& text, bool& inheritanceFlag) {
  const std::wstring_view whole = text.IsAbsent() ? std::wstring_view() : std::wstring_view(text.Text(), text.Length());
  const auto contains = [whole](std::wstring_view part) { return whole.find(part) != std::wstring_view::npos; };

  inheritanceFlag = contains(L"CI");
  std::uint32_t accessMask = 0;
  for (const NamespaceRight& right : kNamespaceRights)
    if (contains(right.letters)) accessMask |= right.bit;
  return accessMask;
}

}  // namespace tessarwick
