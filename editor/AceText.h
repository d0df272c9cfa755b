// The text of one SDDL access-control entry for a trustee, and the rights read back out of it.
// Both directions go through the rights table (editor/RightsTable.h), so they agree on every
// bit the command can name.
#pragma once

#include <cstdint>

#include "common/WideString.h"

namespace tessarwick {

// Reads the namespace rights and the container-inherit flag out of entry text (parentheses may
// be included). Every test is a case-sensitive substring search over the whole text, not a parse
// of the rights field: FULL_WRITE counts only where "LCSWRP" stands whole, and letters in any
// field, a SID alias included, count. Rights written in any other form add nothing.
std::uint32_t ParseAceRights(const WideString& text, bool& inheritanceFlag);

}  // namespace tessarwick
