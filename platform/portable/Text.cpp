// The stand-in platform's 8-bit code page is UTF-8. Wide text is UTF-32 (wchar_t is 32 bits
// here); surrogate halves and values beyond U+10FFFF cannot be encoded and fail the conversion.
#include "platform/Text.h"

#include <cstdint>
#include <type_traits>

namespace tessarwick::platform {

bool WideToAnsi(const wchar_t* text, std::size_t length, std::string& out) {
  out.clear();
  if (length == 0) return true;
  if (text == nullptr) return false;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    // wchar_t is a signed 32-bit type here; its code point is the unsigned value.
    auto code = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      if (code >= 0xD800 && code <= 0xDFFF) return false;
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code <= 0x10FFFF) {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      return false;
    }
  }
  return true;
}

bool AnsiToWide(const char* text, std::size_t length, std::wstring& out) {
  out.clear();
  if (length == 0) return true;
  if (text == nullptr) return false;
  out.reserve(length);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t i = 0;
  while (i < length) {
    std::uint32_t lead = bytes[i];
    std::size_t extra;
    std::uint32_t code;
    std::uint32_t minimum;
    if (lead < 0x80) {
      extra = 0, code = lead, minimum = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, code = lead & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (length - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (bytes[i + k] & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    out += static_cast<wchar_t>(code);
    i += extra + 1;
  }
  return true;
}

}  // namespace tessarwick::platform
