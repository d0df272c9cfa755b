#include <cstddef>
#include <string>
#include <string_view>

#include "common/NamespaceTarget.h"
#include "editor/AceText.h"

namespace tessarwick {

namespace {

// The index of the ")" that closes the entry opened at `open`, or npos when the text ends first.
// Conditional and resource-attribute entries nest parentheses inside the entry, and their quoted
// strings may hold parentheses of their own, so the whole nest is one entry. Quotes count only
// inside the nest: a plain entry has no quoted field, and a stray quote in one must not swallow
// the entries after it.
std::size_t FindEntryEnd(std::wstring_view sddl, std::size_t open) {
  std::size_t depth = 0;
  bool inQuotes = false;
  for (std::size_t index = open; index < sddl.size(); ++index) {
    const wchar_t character = sddl[index];
    if (inQuotes) {
      if (character == L'"') inQuotes = false;
    } else if (character == L'"' && depth >= 2) {
      inQuotes = true;
    } else if (character == L'(') {
      ++depth;
    } else if (character == L')' && --depth == 0) {
      return index;
    }
  }
  return std::wstring_view::npos;
}

// Whether the entries after this text (outside any entry) belong to the DACL. Outside entries, a
// ":" only ends a component tag ("O:", "G:", "D:", "S:"), since SIDs and flags hold none; the
// last tag decides. Entries before any tag count as the DACL's, as in text made of entries alone.
bool EntriesFollowInDacl(std::wstring_view between, bool inDacl) {
  for (std::size_t colon = between.find(L':'); colon != std::wstring_view::npos; colon = between.find(L':', colon + 1))
    inDacl = colon > 0 && between[colon - 1] == L'D';
  return inDacl;
}

bool Contains(std::wstring_view text, std::wstring_view part) { return text.find(part) != std::wstring_view::npos; }

}  // namespace

// The descriptor converter writes the owner, the group, "D:" with the DACL flags, then the DACL's
// entries back to back, and then, when the descriptor has one, "S:" with the SACL's flags and
// entries. Only the DACL's plain entries are edited. Everything else (the text around the
// entries, SACL entries, conditional entries, an entry that is never closed) is copied where it
// stands, so a text that is not what the converter writes comes back unchanged rather than
// losing pieces; the converter then judges it when the result is read back.
WideString CNamespaceTarget::RemoveTrusteeRights(const WideString& sidText, bool allowAce, std::uint32_t accessMask,
                                                 const WideString& sddl) const {
  const std::wstring_view text = sddl.IsAbsent() ? std::wstring_view() : std::wstring_view(sddl.Text(), sddl.Length());
  if (text.find(L'(') == std::wstring_view::npos) return sddl;

  const std::wstring_view typePattern = allowAce ? L"(A;" : L"(D;";
  // Only an entry with both object fields empty and exactly this SID in its SID field matches.
  std::wstring trusteePattern = L";;;";
  trusteePattern.append(sidText.IsAbsent() ? L"" : sidText.Text(), sidText.Length());
  trusteePattern += L')';

  WideStringBuilder result;
  bool inDacl = true;
  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t open = text.find(L'(', position);
    const std::wstring_view between =
        text.substr(position, open == std::wstring_view::npos ? std::wstring_view::npos : open - position);
    result.Append(between.data(), between.size());
    inDacl = EntriesFollowInDacl(between, inDacl);
    if (open == std::wstring_view::npos) break;

    const std::size_t close = FindEntryEnd(text, open);
    if (close == std::wstring_view::npos) {
      result.Append(text.data() + open, text.size() - open);
      break;
    }
    const std::wstring_view token = text.substr(open, close + 1 - open);
    position = close + 1;

    // A nested "(" marks a conditional entry: rewriting it as a plain one would drop its condition.
    const bool plainEntry = token.find(L'(', 1) == std::wstring_view::npos;
    if (!inDacl || !plainEntry || !Contains(token, typePattern) || !Contains(token, trusteePattern)) {
      result.Append(token.data(), token.size());
      continue;
    }

    bool inheritanceFlag = false;
    const std::uint32_t rights = ParseAceRights(WideString(token.data(), token.size()), inheritanceFlag);
    const std::uint32_t remaining = rights & ~accessMask;
    if (remaining == 0) continue;
    if (remaining == rights && inheritanceFlag == IncludeSubNamespaces) {
      result.Append(token.data(), token.size());
      continue;
    }
    result.Append(L"(");
    result.Append(BuildAceString(sidText, allowAce, remaining));
    result.Append(L")");
  }
  return result.Build();
}

}  // namespace tessarwick
