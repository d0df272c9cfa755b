// The real Windows SDK headers (MinGW-w64's), in the order they need each other.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
#include <sddl.h>
#include <ntsecapi.h>

// LsaLookupNames2's flag for names without a domain part, which MinGW-w64's ntsecapi.h lacks.
#ifndef LSA_LOOKUP_ISOLATED_AS_LOCAL
#define LSA_LOOKUP_ISOLATED_AS_LOCAL 0x80000000
#endif
