// Filled by the WMI stand-in.
#pragma once
#include "platform/portable/Com.h"
