// What view and modify mode share in reading a namespace's descriptor from the out-parameters of
// __SystemSecurity.GetSD: its ReturnValue, the SD byte array and their failure lines.
#pragma once

#include "common/WideString.h"
#include "platform/ComPtr.h"
#include "platform/Platform.h"

namespace tessarwick {

// "SD" travels as a one-dimensional array of bytes.
inline constexpr VARTYPE kByteArray = VT_ARRAY | VT_UI1;

// Prints "GetProperty: Failed, property:<property> error:<WBEM status name>".
void PrintPropertyFailure(const wchar_t* property, HRESULT status);

// The ReturnValue of a __SystemSecurity method is a 32-bit integer, 0 for success. A value of any
// other type is no success: it reads as a refusal.
bool IsZeroReturnValue(const VARIANT& value);

// The SDDL text (owner, group, DACL and SACL) of the descriptor bytes in SD. On failure it prints
// the one line that says why and returns an absent string: an SD that is not a byte array, or an
// empty one, is reported as a property read that gave no descriptor and is never converted,
// since the conversion is handed only a pointer; a failed conversion prints its own line with
// the thread's last error.
WideString DescriptorTextOf(const VARIANT& sd);

// Reads the namespace's descriptor as SDDL text: GetObject of the object path (always
// "__SystemSecurity"), then its GetSD method, its ReturnValue and its SD. A failing step prints
// its one line and gives an absent string; a nonzero ReturnValue (the method ran but refused)
// gives an absent string without a line. The class object is handed back in classObject, since
// writing the descriptor needs its SetSD signature.
WideString ReadSecurityDescriptorText(IWbemServices* services, const WideString& objectPath,
                                      ComPtr<IWbemClassObject>& classObject);

}  // namespace tessarwick
