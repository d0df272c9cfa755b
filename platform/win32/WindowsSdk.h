// The real Windows SDK headers (MinGW-w64's), in the order they need each other.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
#include <sddl.h>
#include <ntsecapi.h>
