// Filled by the security services stand-in.
#pragma once
#include "platform/portable/Base.h"
