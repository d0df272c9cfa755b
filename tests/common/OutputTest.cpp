// The output routine reads %s as wide and %S as 8-bit text on both builds, whatever the C runtime
// underneath would do, and prints an absent string as "(null)".
#include <gtest/gtest.h>

#include "platform/Output.h"
#include "tests/support/OutputCapture.h"

namespace tessarwick {
namespace {

std::string Printed(const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::string text = WideFormat(format, arguments);
  va_end(arguments);
  return text;
}

TEST(OutputTest, StringConversions) {
  EXPECT_EQ(Printed(L"Permissions on %S \n", "root\\cimv2"), "Permissions on root\\cimv2 \n");
  EXPECT_EQ(Printed(L"%s \n\n", L"O:BAG:BAD:"), "O:BAG:BAD: \n\n");
  EXPECT_EQ(Printed(L"[%s|%S]", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)),
            "[(null)|(null)]");
  EXPECT_EQ(Printed(L"%hs %ls %ws", "narrow", L"wide", L"wide"), "narrow wide wide");
  EXPECT_EQ(Printed(L"%.3s|%.2S|%5s|%-5S|", L"abcdef", "xyz", L"ab", "cd"), "abc|xy|   ab|cd   |");
  EXPECT_EQ(Printed(L"100%% %c%C", L'a', 'b'), "100% ab");
}

TEST(OutputTest, IntegerConversionsTake32BitValues) {
  EXPECT_EQ(Printed(L"OpenPolicy returned %lu\n", static_cast<std::uint32_t>(1332)), "OpenPolicy returned 1332\n");
  EXPECT_EQ(Printed(L"%08lx|%08lX|%d|%u", 0x8004100Eu, 0xABCu, -5, 4294967295u), "8004100e|00000ABC|-5|4294967295");
  EXPECT_EQ(Printed(L"%lld %llu", -1LL, 18446744073709551615ULL), "-1 18446744073709551615");
  EXPECT_EQ(Printed(L"%hd", 65535), "-1");
}

TEST(OutputTest, NonAsciiTextReachesThe8BitCodePage) {
  // The 8-bit code page is UTF-8 on the stand-in and the ANSI code page on Windows: both hold é.
  std::string printed = Printed(L"%s", L"caf\u00e9");
  EXPECT_EQ(printed.substr(0, 3), "caf");
  EXPECT_GT(printed.size(), 3u);
}

TEST(OutputTest, WidePrintfWritesThroughTheReceiver) {
  testing::OutputCapture capture;
  int written = WidePrintf(L"Write security succeeded on %S for %S.\n", "root", "Everyone");
  EXPECT_EQ(capture.Text(), "Write security succeeded on root for Everyone.\n");
  EXPECT_EQ(written, static_cast<int>(capture.Text().size()));
}

TEST(OutputTest, MalformedFormatsDoNotConsumeArguments) {
  EXPECT_EQ(Printed(L"50%"), "50%");
  EXPECT_EQ(Printed(L"%q %s", L"x"), "%q x");
}

}  // namespace
}  // namespace tessarwick
