#pragma once

#include "common/WideString.h"

namespace tessarwick {

// The path of a namespace on a computer: "\\computer\namespace" when a computer is present and
// not empty (an absent namespace counts as empty), otherwise the namespace unchanged.
WideString BuildNamespacePath(const WideString& computer, const WideString& nameSpace);

}  // namespace tessarwick
