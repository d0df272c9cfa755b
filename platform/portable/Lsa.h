// The local security authority: LsaOpenPolicy, LsaLookupNames2 and friends.
#pragma once
#include "platform/portable/Sddl.h"
