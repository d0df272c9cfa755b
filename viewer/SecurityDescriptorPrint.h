// Prints the security descriptor of a connected namespace as SDDL text.
#pragma once

#include "common/WideString.h"
#include "wmi/WMIQuery.h"

namespace tessarwick {

// Reads the descriptor with GetSD of the object path (always "__SystemSecurity") through the
// query's services and prints its SDDL text followed by a blank line, or one failure line. The
// caller never learns which: a descriptor that cannot be read does not stop the walk.
void PrintSecurityDescriptor(CWMIQuery& query, const WideString& objectPath);

}  // namespace tessarwick
