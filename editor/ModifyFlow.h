// Pieces of modify mode that work on text alone.
#pragma once

#include <cstddef>

#include "common/WideString.h"

namespace tessarwick {

// Where a new entry goes in descriptor text: the end of the DACL's entries. The conversion writes
// the parts in the order owner, group, DACL, SACL, so that is just before the SACL part ("S:")
// when there is one, and the end of the text otherwise. Part tags are found only outside entries
// (and outside the quoted strings of conditional entries), where every colon follows a tag.
std::size_t DaclEntriesEnd(const WideString& sddl);

// The text with "(" + the entry + ")" inserted at DaclEntriesEnd. Nothing is merged or reordered,
// and text without a DACL part is not repaired: the entry then stands where no entry may, and the
// conversion back to a descriptor refuses it.
WideString InsertDaclEntry(const WideString& sddl, const WideString& aceText);

}  // namespace tessarwick
