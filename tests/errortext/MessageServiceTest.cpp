// FormatMessageA as SystemErrorText calls it, pinned on both builds: the stand-in's here, wine's
// (or Windows') on the cross build. The wording of the texts is not compared: see MessageSource.h.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "platform/Platform.h"
#include "platform/UniqueAny.h"

namespace tessarwick {
namespace {

constexpr DWORD kAllocateFromSystem = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD kUserDefaultLanguage = 0x400;
constexpr DWORD kMessageNotFound = 317;  // ERROR_MR_MID_NOT_FOUND

struct Formatted {
  DWORD result;
  std::string text;
  bool allocated;
};

Formatted FormatSystemMessage(DWORD flags, DWORD code, const char* const* arguments = nullptr) {
  UniqueLocal<char*> text;
  const DWORD result = FormatMessageA(flags, nullptr, code, kUserDefaultLanguage, reinterpret_cast<LPSTR>(text.put()),
                                      0, reinterpret_cast<va_list*>(const_cast<char**>(arguments)));
  return {result, text ? text.get() : "", static_cast<bool>(text)};
}

TEST(FormatMessageFromSystem, KnownCodeGivesAnAllocatedTextEndingInALineEnd) {
  for (DWORD code : {0x0u, 0x2u, 0x5u, 0x57u, 0x6BAu, 0x80004005u, 0x80070005u, 0x800706BAu}) {
    const Formatted message = FormatSystemMessage(kAllocateFromSystem, code);
    ASSERT_TRUE(message.allocated) << std::hex << code;
    EXPECT_EQ(message.result, message.text.size()) << std::hex << code;
    ASSERT_GE(message.text.size(), 3u) << std::hex << code;
    EXPECT_EQ(message.text.substr(message.text.size() - 2), "\r\n") << std::hex << code;
  }
}

TEST(FormatMessageFromSystem, CodeWithoutATextLeavesThePointerNullAndSetsTheLastError) {
  for (DWORD code : {0x80041068u, 0x8004104Au, 0xDEADBEEFu}) {
    SetLastError(0);
    const Formatted message = FormatSystemMessage(kAllocateFromSystem | FORMAT_MESSAGE_ARGUMENT_ARRAY, code);
    EXPECT_EQ(message.result, 0u) << std::hex << code;
    EXPECT_FALSE(message.allocated) << std::hex << code;
    EXPECT_EQ(GetLastError(), kMessageNotFound) << std::hex << code;
  }
}

// Message 317 has two inserts, %1 and %2, on every system.
TEST(FormatMessageFromSystem, ArgumentArrayFillsTheInserts) {
  const char* const arguments[] = {"ABC", "DEF", nullptr};
  const Formatted message = FormatSystemMessage(kAllocateFromSystem | FORMAT_MESSAGE_ARGUMENT_ARRAY, 317, arguments);
  ASSERT_TRUE(message.allocated);
  EXPECT_NE(message.text.find("0xABC"), std::string::npos) << message.text;
  EXPECT_NE(message.text.find("DEF"), std::string::npos) << message.text;
  EXPECT_EQ(message.text.find('%'), std::string::npos) << message.text;
}

TEST(FormatMessageFromSystem, IgnoredInsertsStayAsTheyAre) {
  const Formatted message = FormatSystemMessage(kAllocateFromSystem | FORMAT_MESSAGE_IGNORE_INSERTS, 317);
  ASSERT_TRUE(message.allocated);
  EXPECT_NE(message.text.find("%1"), std::string::npos) << message.text;
  EXPECT_NE(message.text.find("%2"), std::string::npos) << message.text;
}

TEST(FormatMessageFromSystem, CallersBufferTakesTheTextOrReportsItTooSmall) {
  char buffer[256];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, kUserDefaultLanguage,
                                      buffer, sizeof buffer, nullptr);
  ASSERT_GT(length, 2u);
  EXPECT_EQ(std::strlen(buffer), length);
  EXPECT_EQ(std::string(buffer + length - 2), "\r\n");

  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, kUserDefaultLanguage, buffer, 3,
                           nullptr),
            0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace
}  // namespace tessarwick
