// Conversion between UTF-16 text and the 8-bit code page: the ANSI code page on Windows,
// UTF-8 on the stand-in platform. Both return false when the text cannot be converted.
#pragma once

#include <cstddef>
#include <string>

namespace tessarwick::platform {

bool WideToAnsi(const wchar_t* text, std::size_t length, std::string& out);
bool AnsiToWide(const char* text, std::size_t length, std::wstring& out);

}  // namespace tessarwick::platform
