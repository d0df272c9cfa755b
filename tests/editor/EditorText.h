// Helpers shared by the editor's text tests.
#pragma once

#include <string>

#include "common/WideString.h"

namespace tessarwick::test {

inline constexpr const wchar_t* kTrusteeSid = L"S-1-5-21-1-2-3-1001";

// The text as a std::wstring, so GoogleTest prints both sides of a failed comparison.
inline std::wstring TextOf(const WideString& text) {
  return text.IsAbsent() ? std::wstring() : std::wstring(text.Text(), text.Length());
}

}  // namespace tessarwick::test
