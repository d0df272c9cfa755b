// Security services of the stand-in platform: SDDL and SID conversions, and the LSA lookup.
#pragma once

#include "platform/portable/Lsa.h"
#include "platform/portable/Sddl.h"
