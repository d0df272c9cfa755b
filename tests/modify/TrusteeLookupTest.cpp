// The trustee lookup in process, against the platform's own security authority: the stand-in's on
// the native build, wine's under the Windows build. Both know the well-known accounts.
#include "editor/TrusteeLookup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/OutputCapture.h"

namespace tessarwick {
namespace {

using testing::OutputCapture;

class TrusteeLookupTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#ifndef _WIN32
    // The stand-in's accounts come with its host; a file that does not exist gives the default
    // host, and nothing here writes one.
    ::setenv("TESSARWICK_HOST_FILE", "/nonexistent/tessarwick-trustee-lookup/host.json", 1);
#endif
  }
};

TEST_F(TrusteeLookupTest, WellKnownNamesGiveTheirSidText) {
  const struct {
    const char* row;
    const wchar_t* name;
    const wchar_t* sid;
  } rows[] = {{"Everyone", L"Everyone", L"S-1-1-0"},
              {"Administrators", L"Administrators", L"S-1-5-32-544"},
              {"BUILTIN\\Users", L"BUILTIN\\Users", L"S-1-5-32-545"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.row);
    OutputCapture output;
    WideString sidText;
    EXPECT_EQ(LookupTrusteeSid(row.name, sidText), S_OK);
    ASSERT_FALSE(sidText.IsAbsent());
    EXPECT_EQ(std::wstring(sidText.Text()), row.sid);
    EXPECT_EQ(output.Text(), "");
  }
}

// ERROR_NONE_MAPPED (1332) becomes 0x80070534; the SID text is left as it was. The system text
// differs between platforms, so only the part of the line that is the program's own is compared.
TEST_F(TrusteeLookupTest, UnknownNameGivesOneLineAndTheErrorAsHresult) {
  OutputCapture output;
  WideString sidText(L"untouched");
  EXPECT_EQ(LookupTrusteeSid(L"TessarwickNoSuchAccount", sidText), static_cast<HRESULT>(0x80070534u));
  EXPECT_EQ(std::wstring(sidText.Text()), L"untouched");
  const std::string prefix = "LsaLookupNames2 returned 1332 ";
  EXPECT_EQ(output.Text().compare(0, prefix.size(), prefix), 0) << output.Text();
  EXPECT_GT(output.Text().size(), prefix.size() + 1) << "no system text";
  EXPECT_EQ(output.Text().find('\n'), output.Text().size() - 1) << output.Text();
}

TEST_F(TrusteeLookupTest, AbsentOrEmptyNameFailsSilently) {
  for (const WideString& name : {WideString(), WideString(L"")}) {
    OutputCapture output;
    WideString sidText(L"untouched");
    EXPECT_EQ(LookupTrusteeSid(name, sidText), E_FAIL);
    EXPECT_EQ(std::wstring(sidText.Text()), L"untouched");
    EXPECT_EQ(output.Text(), "");
  }
}

TEST(HresultFromWindowsErrorTest, SetsTheWin32FacilityOnPositiveCodesOnly) {
  EXPECT_EQ(HresultFromWindowsError(0), S_OK);
  EXPECT_EQ(HresultFromWindowsError(5), static_cast<HRESULT>(0x80070005u));
  EXPECT_EQ(HresultFromWindowsError(1332), static_cast<HRESULT>(0x80070534u));
  // Only the low 16 bits of a positive code are kept.
  EXPECT_EQ(HresultFromWindowsError(0x00012345u), static_cast<HRESULT>(0x80072345u));
  // A code that is negative as a signed number is already an HRESULT.
  EXPECT_EQ(HresultFromWindowsError(0x80041003u), static_cast<HRESULT>(0x80041003u));
}

}  // namespace
}  // namespace tessarwick
