// The program's one formatted-output routine. Every line of output goes through WidePrintf.
//
// Its conversions follow the Microsoft reading of the wide printf family, whatever the C runtime
// underneath does: in a wide format "%s" takes a wide string and "%S" an 8-bit string (ANSI code
// page), and a null string argument prints "(null)". Integer conversions take 32-bit values with
// or without the "l" modifier, as LONG and DWORD are 32 bits on Windows; "ll" takes 64 bits.
// The formatted text goes to standard output in the 8-bit code page.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace tessarwick {

int WidePrintf(const wchar_t* format, ...);
int WideVPrintf(const wchar_t* format, va_list arguments);

// Formats into 8-bit text without writing it; WidePrintf writes exactly this text.
std::string WideFormat(const wchar_t* format, va_list arguments);

// Tests redirect output into a receiver of their own; null restores standard output.
using OutputReceiver = void (*)(void* context, const char* bytes, std::size_t length);
void SetOutputReceiver(OutputReceiver receiver, void* context);

}  // namespace tessarwick
