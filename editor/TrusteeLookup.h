// Resolves the trustee of modify mode, an account name, to the text form of its SID through the
// local security authority of the computer the command runs on. The ACE written on a remote
// computer carries the SID found here: /C never changes where the name is looked up.
#pragma once

#include "common/WideString.h"
#include "platform/Platform.h"

namespace tessarwick {

// Opens the local LSA policy for name lookups. On failure prints "OpenPolicy returned <code>"
// with the Windows error code and returns null; the caller closes a handle it gets.
LSA_HANDLE OpenLookupPolicy();

// Looks the name up exactly as typed and writes its SID text (S-1-...) into sidText. Returns S_OK,
// or a failure with sidText untouched: E_FAIL silently for an absent or empty name or a SID that
// cannot be written as text, E_FAIL after OpenLookupPolicy's line, or the lookup's Windows error
// code as an HRESULT after the line "LsaLookupNames2 returned <code> <system text>".
HRESULT LookupTrusteeSid(WideString trustee, WideString& sidText);

// A Windows error code as an HRESULT, as HRESULT_FROM_WIN32 makes it: 0x8007 and the low 16 bits
// for a code that is positive as a signed number, the value itself otherwise (0 stays 0).
constexpr HRESULT HresultFromWindowsError(DWORD code) noexcept {
  return static_cast<LONG>(code) > 0 ? static_cast<HRESULT>((code & 0x0000FFFFu) | 0x80070000u)
                                     : static_cast<HRESULT>(code);
}

}  // namespace tessarwick
