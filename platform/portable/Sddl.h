// SDDL and SID conversion services (ConvertSecurityDescriptorToStringSecurityDescriptorW and friends).
#pragma once
#include "platform/portable/Base.h"
