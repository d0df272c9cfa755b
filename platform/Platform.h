// The one header through which the rest of the program reaches the platform: the Windows types,
// COM and OLE Automation, WMI, the security services and the system message texts. On Windows
// these are the real SDK headers; elsewhere the stand-in in platform/portable/ declares the same
// names with the same contracts.
#pragma once

#ifdef _WIN32
#include "platform/win32/WindowsSdk.h"
#else
#include "platform/portable/Base.h"
#include "platform/portable/Com.h"
#include "platform/portable/Security.h"
#include "platform/portable/Wmi.h"
#endif
