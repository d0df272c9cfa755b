// Where the system message texts come from, and what the tests can therefore expect of them.
//
// The native build reads the stand-in's own table, so its texts are known word for word. The
// cross build reads whatever FormatMessageA the running system has: under wine that is wine's,
// whose wording differs from the stand-in's and from Windows', whose texts are all shorter than
// 60 characters and of one line, and which has no text for a few COM codes that Windows has
// (E_NOINTERFACE, CO_E_NOTINITIALIZED, REGDB_E_CLASSNOTREG). There the tests check the shape of a
// text (one line, not empty, within the limit) and accept the "Error 0x" fallback for those
// codes. This is the one place where the two builds' expectations part.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/Platform.h"

namespace tessarwick::testing {

#ifdef _WIN32
inline constexpr bool kStandInMessages = false;
#else
inline constexpr bool kStandInMessages = true;
#endif

// Codes that wine's message table lacks while Windows has a text for them.
inline bool WineMayLackText(DWORD code) {
  constexpr DWORD kCodes[] = {0x80004002u, 0x800401F0u, 0x80040154u};
  return std::find(std::begin(kCodes), std::end(kCodes), code) != std::end(kCodes);
}

inline std::string FallbackText(DWORD code) {
  char text[32];
  std::snprintf(text, sizeof text, "Error 0x%08lx", static_cast<unsigned long>(code));
  return text;
}

// A cleaned system text for `code`: word for word on the stand-in, by its shape on the real one.
inline void ExpectSystemText(DWORD code, const std::string& actual, const std::string& standInWording) {
  if (kStandInMessages) {
    EXPECT_EQ(actual, standInWording);
    return;
  }
  if (WineMayLackText(code) && actual == FallbackText(code)) return;
  EXPECT_FALSE(actual.empty());
  EXPECT_LE(actual.size(), 1023u);
  EXPECT_EQ(actual.find_first_of("\r\n"), std::string::npos) << actual;
  EXPECT_NE(actual.rfind("Error 0x", 0), 0u) << "no system text for this code: " << actual;
}

}  // namespace tessarwick::testing
