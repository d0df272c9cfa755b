// The status texts of failure messages, on both builds: the WBEM name table, the fallbacks and
// the cleaning of system messages. What the two builds' message sources allow a test to expect is
// set out in MessageSource.h.
#include "wmi/ErrorText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "tests/errortext/MessageSource.h"

namespace tessarwick {
namespace {

using testing::ExpectSystemText;
using testing::FallbackText;
using testing::kStandInMessages;

std::string Hex(DWORD code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
  return text;
}

// ---- The name table

struct CodeRange {
  DWORD first;
  DWORD last;
};

// The runs of codes that have a name; everything else, the gaps included, takes the fallback.
constexpr CodeRange kNamedRanges[] = {
    {0x00000000, 0x00000001}, {0x00040001, 0x00040008}, {0x80041001, 0x80041049},
    {0x80041050, 0x8004105D}, {0x8004105F, 0x80041067}, {0x80043001, 0x80043002},
};

TEST(WbemStatusNameTable, HoldsOneRowForEveryCodeOfTheNamedRangesAndNoOther) {
  const auto names = WbemStatusNames();
  EXPECT_EQ(names.size(), 108u);

  for (std::size_t index = 1; index < names.size(); ++index) {
    EXPECT_LT(names[index - 1].code, names[index].code) << "rows out of order at " << Hex(names[index].code);
  }
  std::size_t rowsInRanges = 0;
  for (const CodeRange& range : kNamedRanges) {
    std::size_t rows = 0;
    for (const WbemStatusName& row : names) rows += (row.code >= range.first && row.code <= range.last) ? 1 : 0;
    EXPECT_EQ(rows, range.last - range.first + 1) << "range " << Hex(range.first) << ".." << Hex(range.last);
    rowsInRanges += rows;
  }
  EXPECT_EQ(rowsInRanges, names.size()) << "a row lies outside every named range";

  std::set<std::string> distinct;
  for (const WbemStatusName& row : names) {
    EXPECT_EQ(std::string(row.name).rfind("WBEM_", 0), 0u) << Hex(row.code) << " " << row.name;
    EXPECT_TRUE(distinct.insert(row.name).second) << "name given twice: " << row.name;
  }
}

TEST(WbemStatusNameTable, WbemErrorTextReturnsEachRowsOwnText) {
  for (const WbemStatusName& row : WbemStatusNames()) {
    EXPECT_EQ(WbemErrorText(static_cast<HRESULT>(row.code)), row.name) << Hex(row.code);
  }
}

struct NamedCode {
  DWORD code;
  const char* name;
};

TEST(WbemErrorText, NamesTheEdgesOfEachRangeAndTheTwoRenamedCodes) {
  constexpr NamedCode kCases[] = {
      {0x00000000, "WBEM_NO_ERROR/WBEM_S_NO_ERROR/WBEM_S_SAME"},
      {0x00000001, "WBEM_S_FALSE"},
      {0x00040001, "WBEM_S_ALREADY_EXISTS"},
      {0x00040006, "WBEM_OPERATION_CANCELLED"},
      {0x00040008, "WBEM_S_DUPLICATE_OBJECTS"},
      {0x80041001, "WBEM_E_FAILED"},
      {0x80041003, "WBEM_E_ACCESS_DENIED"},
      {0x80041049, "WBEM_E_CANNOT_CHANGE_KEY_INHERITANCE"},
      {0x80041050, "WBEM_E_CANNOT_CHANGE_INDEX_INHERITANCE"},
      {0x8004105D, "WBEM_E_AGGREGATING_BY_OBJECT"},
      {0x8004105F, "WBEM_E_UNINTERPRETABLE_PROVIDER_QUERY"},
      {0x80041067, "WBEM_E_CLIENT_TOO_SLOW"},
      {0x80043001, "WBEM_E_RETRY_LATER"},
      {0x80043002, "WBEM_E_RESOURCE_CONTENTION"},
  };
  for (const NamedCode& entry : kCases) {
    EXPECT_STREQ(WbemErrorText(static_cast<HRESULT>(entry.code)), entry.name) << Hex(entry.code);
  }
}

TEST(WbemErrorText, NamesLeaveBothBuffersAsTheyWere) {
  // The fallback writes the system text too, so it goes first.
  const char* fallbackText = WbemErrorText(static_cast<HRESULT>(0x8004104A));
  const std::string fallbackBefore = fallbackText;
  const char* systemText = SystemErrorText(0x80041068);
  const std::string systemBefore = systemText;

  for (DWORD code : {0x00000000u, 0x00000001u, 0x80041003u, 0x80043002u}) {
    WbemErrorText(static_cast<HRESULT>(code));
    EXPECT_EQ(systemText, systemBefore) << Hex(code);
    EXPECT_EQ(fallbackText, fallbackBefore) << Hex(code);
  }
}

// No system has a message for these WBEM-range codes (WMI keeps its own texts elsewhere), so the
// fallback reads the same on both builds.
TEST(WbemErrorText, CodesWithoutANameTakeTheFallback) {
  constexpr NamedCode kCases[] = {
      {0x80041068, "WBEMerr 80041068 Error 0x80041068"},  // one past the last named run
      {0x8004104A, "WBEMerr 8004104A Error 0x8004104a"},  // first of the gap
      {0x8004104F, "WBEMerr 8004104F Error 0x8004104f"},  // last of the gap
      {0x8004105E, "WBEMerr 8004105E Error 0x8004105e"},  // the single missing code
      {0x80041000, "WBEMerr 80041000 Error 0x80041000"}, {0x80043000, "WBEMerr 80043000 Error 0x80043000"},
      {0x80043003, "WBEMerr 80043003 Error 0x80043003"}, {0x00040009, "WBEMerr 00040009 Error 0x00040009"},
  };
  for (const NamedCode& entry : kCases) {
    EXPECT_STREQ(WbemErrorText(static_cast<HRESULT>(entry.code)), entry.name) << Hex(entry.code);
  }
}

// A failing HRESULT is negative; the fallback must print its 32 bits, never a sign-extended value.
TEST(WbemErrorText, FallbackCarriesTheCodeAndAtMostSixtyCharactersOfItsSystemText) {
  for (DWORD code : {0x00000534u, 0x80070005u, 0x800706BAu, 0x00000002u}) {
    const std::string systemText = SystemErrorText(code);
    ASSERT_NE(systemText.rfind("Error 0x", 0), 0u) << Hex(code) << " needs a system text";
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "WBEMerr %08lX ", static_cast<unsigned long>(code));
    const std::string fallback = WbemErrorText(static_cast<HRESULT>(code));
    EXPECT_EQ(fallback, prefix + systemText.substr(0, 60)) << Hex(code);
    EXPECT_LE(fallback.size(), 77u);
  }
  // The stand-in's text for 1332 is longer than 60 characters, so the cut is exercised there.
  if (kStandInMessages) {
    EXPECT_GT(std::string(SystemErrorText(1332)).size(), 60u);
  }
}

// ---- System texts

TEST(SystemErrorText, CodeWithoutAMessageReadsErrorAndEightLowerCaseDigits) {
  constexpr NamedCode kCases[] = {
      {0x80041068, "Error 0x80041068"},
      {0xDEADBEEF, "Error 0xdeadbeef"},
      {0x8004105E, "Error 0x8004105e"},
  };
  for (const NamedCode& entry : kCases) EXPECT_STREQ(SystemErrorText(entry.code), entry.name) << Hex(entry.code);
}

struct SystemTextCase {
  DWORD code;
  const char* standInWording;
};

// The codes this program meets. Each comes back as one line without its closing line end.
TEST(SystemErrorText, KnownCodesComeBackAsOneLine) {
  constexpr SystemTextCase kCases[] = {
      {0, "The operation finished without error."},
      {2, "No file was found at the path given."},
      {5, "Access to the object was refused."},
      {8, "Too little memory is left to carry out this request."},
      {87, "A parameter has a value that is not accepted."},
      {1332, "None of the account names given could be mapped to a security identifier."},
      {1336, "The access control list does not have a valid structure."},
      {1337, "The security identifier does not have a valid structure."},
      {1338, "The security descriptor does not have a valid structure."},
      {1705, "The text is not a valid universal unique identifier (UUID)."},
      {1722, "The RPC server could not be reached."},
      {0x80004005, "The operation failed for a reason not given."},
      {0x8007000E, "Memory ran out before the operation could finish."},
      {0x80070057, "A parameter has a value that is not accepted."},
      {0x80070005, "Access to the object was refused."},
      {0x80004002, "The object does not support the interface asked for."},
      {0x800706BA, "The RPC server could not be reached."},
      {0x800401F0, "COM has not been initialized on this thread."},
      {0x80040154, "The class asked for is not registered."},
      // Two lines joined as they stand, inserts unfilled.
      {34, "The disk in the drive is not the one expected.Put disk %2 (volume serial number %3) into drive %1."},
  };
  for (const SystemTextCase& entry : kCases) {
    SCOPED_TRACE(Hex(entry.code));
    if (entry.code == 0) SetLastError(0);
    ExpectSystemText(entry.code, SystemErrorText(entry.code), entry.standInWording);
  }
}

TEST(SystemErrorText, Win32HresultReadsTheTextOfItsWindowsError) {
  constexpr std::pair<DWORD, DWORD> kCases[] = {
      {0x80070002, 2}, {0x80070005, 5}, {0x8007000E, 14}, {0x80070057, 87}, {0x800706BA, 1722}};
  for (const auto& [hresult, error] : kCases) {
    const std::string errorText = SystemErrorText(error);
    EXPECT_NE(errorText, FallbackText(error)) << Hex(error);
    EXPECT_EQ(SystemErrorText(hresult), errorText) << Hex(hresult);
  }
}

TEST(SystemErrorText, ZeroStandsForTheThreadsLastError) {
  const std::string accessDenied = SystemErrorText(ERROR_ACCESS_DENIED);
  SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(SystemErrorText(0), accessDenied);

  // The last error replaces the code in every later step, the fallback included.
  SetLastError(0x80041068);
  EXPECT_STREQ(SystemErrorText(0), "Error 0x80041068");

  // A last error of 0 is itself looked up: the system's message for success.
  SetLastError(0);
  ExpectSystemText(0, SystemErrorText(0), "The operation finished without error.");
}

// Message 317 names two inserts on every system; the formatter hands back their placeholders.
TEST(SystemErrorText, InsertsComeOutAsTheirPlaceholders) {
  const std::string text = SystemErrorText(317);
  EXPECT_NE(text.find("%1"), std::string::npos) << text;
  EXPECT_NE(text.find("%2"), std::string::npos) << text;
  ExpectSystemText(317, text, "No text exists for message number 0x%1 in the message file of %2.");
}

TEST(SystemErrorText, EveryCallReusesOneBuffer) {
  const char* first = SystemErrorText(ERROR_FILE_NOT_FOUND);
  const std::string firstText = first;
  const char* second = SystemErrorText(ERROR_ACCESS_DENIED);
  EXPECT_EQ(first, second);
  EXPECT_NE(std::string(first), firstText);

  // The fallback of WbemErrorText writes the same buffer.
  const char* earlier = SystemErrorText(ERROR_FILE_NOT_FOUND);
  WbemErrorText(static_cast<HRESULT>(0x80041068));
  EXPECT_STREQ(earlier, "Error 0x80041068");
}

}  // namespace
}  // namespace tessarwick
