// Conformance of the SDDL and SID conversion services. The same cases run natively against the
// stand-in and, cross-built, under wine against its own advapi32, so the stand-in is held to
// what a real implementation of the services does. Where the two legitimately differ, the
// difference is stated once, in KnownDifferences below, never by skipping a case.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/UniqueAny.h"

namespace {

#ifdef _WIN32
constexpr bool kRealServices = true;
#else
constexpr bool kRealServices = false;
#endif

// The outcome of one conversion, in one printable value: the text or bytes, or the failure code.
struct TextResult {
  bool ok = false;
  DWORD error = 0;
  std::wstring text;
};
struct BytesResult {
  bool ok = false;
  DWORD error = 0;
  std::vector<BYTE> bytes;
};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string Hex(const std::vector<BYTE>& bytes) {
  std::string hex;
  char digits[3];
  for (BYTE byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    hex += digits;
  }
  return hex;
}

std::vector<BYTE> FromHex(const std::string& hex) {
  std::vector<BYTE> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<BYTE>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

BytesResult TextToDescriptor(const wchar_t* text) {
  BytesResult result;
  // The out-pointer is only taken into ownership on success: what a failing service leaves in
  // it is not ours to free.
  PSECURITY_DESCRIPTOR raw = nullptr;
  ULONG size = 0;
  SetLastError(ERROR_SUCCESS);
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &raw, &size)) {
    result.error = GetLastError();
    return result;
  }
  tessarwick::UniqueLocal<PSECURITY_DESCRIPTOR> descriptor(raw);
  const BYTE* bytes = static_cast<const BYTE*>(descriptor.get());
  result.ok = true;
  result.bytes.assign(bytes, bytes + size);
  return result;
}

TextResult DescriptorToText(std::vector<BYTE> bytes, SECURITY_INFORMATION information = 15) {
  TextResult result;
  LPWSTR raw = nullptr;
  ULONG length = 0;
  SetLastError(ERROR_SUCCESS);
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(bytes.data(), SDDL_REVISION_1, information, &raw,
                                                            &length)) {
    result.error = GetLastError();
    return result;
  }
  tessarwick::UniqueLocal<LPWSTR> text(raw);
  result.ok = true;
  result.text = text.get();
  // The reported length counts the terminator.
  EXPECT_EQ(length, result.text.size() + 1) << Narrow(result.text);
  return result;
}

// Text -> descriptor -> text, the way the modify flow converts and the view reads back.
std::string RoundTrip(const wchar_t* text) {
  BytesResult descriptor = TextToDescriptor(text);
  if (!descriptor.ok) return "failed with " + std::to_string(descriptor.error);
  TextResult back = DescriptorToText(descriptor.bytes);
  if (!back.ok) return "failed back with " + std::to_string(back.error);
  return Narrow(back.text);
}

TextResult SidRoundTrip(const wchar_t* text, std::vector<BYTE>* binary = nullptr) {
  TextResult result;
  PSID raw = nullptr;
  SetLastError(ERROR_SUCCESS);
  if (!ConvertStringSidToSidW(text, &raw)) {
    result.error = GetLastError();
    return result;
  }
  tessarwick::UniqueLocal<PSID> sid(raw);
  EXPECT_TRUE(IsValidSid(sid.get()));
  if (binary != nullptr) {
    const BYTE* bytes = static_cast<const BYTE*>(sid.get());
    binary->assign(bytes, bytes + GetLengthSid(sid.get()));
  }
  LPWSTR back = nullptr;
  if (!ConvertSidToStringSidW(sid.get(), &back)) {
    result.error = GetLastError();
    return result;
  }
  tessarwick::UniqueLocal<LPWSTR> owned(back);
  result.ok = true;
  result.text = owned.get();
  return result;
}

struct RoundTripCase {
  const char* name;
  const wchar_t* text;
  const char* canonical;
};

const RoundTripCase kRoundTrips[] = {
    {"namespace default",
     L"O:BAG:BAD:(A;CI;CCDCLCSWRPWPRCWD;;;BA)(A;CI;CCDCRP;;;NS)(A;CI;CCDCRP;;;LS)(A;CI;CCDCRP;;;AU)",
     "O:BAG:BAD:(A;CI;CCDCLCSWRPWPRCWD;;;BA)(A;CI;CCDCRP;;;NS)(A;CI;CCDCRP;;;LS)(A;CI;CCDCRP;;;AU)"},
    {"inherited entries with auto-inherited DACL", L"O:BAG:BAD:AI(A;CIID;CCDCRP;;;NS)(D;CI;CC;;;BU)",
     "O:BAG:BAD:AI(A;CIID;CCDCRP;;;NS)(D;CI;CC;;;BU)"},
    {"deny entries kept in place", L"D:(D;CI;CC;;;BU)(A;CI;CCDC;;;BU)(D;;WD;;;WD)",
     "D:(D;CI;CC;;;BU)(A;CI;CCDC;;;BU)(D;;WD;;;WD)"},
    {"repeated rights letters merge", L"D:(A;CI;LCSWRPSWRP;;;BA)", "D:(A;CI;LCSWRP;;;BA)"},
    {"rights letters in ascending bit order", L"D:(A;;WDRCWPRPSWLCDCCC;;;BA)", "D:(A;;CCDCLCSWRPWPRCWD;;;BA)"},
    {"every ACE flag, in bit order", L"D:(A;IDIOCIOINP;CC;;;WD)", "D:(A;OICINPIOID;CC;;;WD)"},
    {"owner, group and entries in S- form", L"O:S-1-5-32-544G:S-1-5-18D:(A;;CC;;;S-1-1-0)(A;;CC;;;S-1-5-21-1-2-3-1001)",
     "O:BAG:SYD:(A;;CC;;;WD)(A;;CC;;;S-1-5-21-1-2-3-1001)"},
    {"aliases read in either case", L"O:baD:(A;;CC;;;wd)", "O:BAD:(A;;CC;;;WD)"},
    {"well-known aliases",
     L"D:(A;;CC;;;CO)(A;;CC;;;CG)(A;;CC;;;AN)(A;;CC;;;AU)(A;;CC;;;BU)(A;;CC;;;BG)(A;;CC;;;PU)"
     L"(A;;CC;;;BO)(A;;CC;;;SO)(A;;CC;;;AO)(A;;CC;;;PO)(A;;CC;;;RD)(A;;CC;;;NU)(A;;CC;;;IU)"
     L"(A;;CC;;;SU)(A;;CC;;;LS)(A;;CC;;;NO)(A;;CC;;;RU)(A;;CC;;;OW)(A;;CC;;;ED)(A;;CC;;;PS)"
     L"(A;;CC;;;RC)(A;;CC;;;RE)(A;;CC;;;AC)(A;;CC;;;LW)(A;;CC;;;ME)(A;;CC;;;HI)(A;;CC;;;SI)",
     "D:(A;;CC;;;CO)(A;;CC;;;CG)(A;;CC;;;AN)(A;;CC;;;AU)(A;;CC;;;BU)(A;;CC;;;BG)(A;;CC;;;PU)"
     "(A;;CC;;;BO)(A;;CC;;;SO)(A;;CC;;;AO)(A;;CC;;;PO)(A;;CC;;;RD)(A;;CC;;;NU)(A;;CC;;;IU)"
     "(A;;CC;;;SU)(A;;CC;;;LS)(A;;CC;;;NO)(A;;CC;;;RU)(A;;CC;;;OW)(A;;CC;;;ED)(A;;CC;;;PS)"
     "(A;;CC;;;RC)(A;;CC;;;RE)(A;;CC;;;AC)(A;;CC;;;LW)(A;;CC;;;ME)(A;;CC;;;HI)(A;;CC;;;SI)"},
    {"whole-mask names and hexadecimal masks",
     L"D:(A;;0x1F01FF;;;SY)(A;;0x120089;;;SY)(A;;0x120116;;;SY)(A;;0x1200A0;;;SY)(A;;0xF003F;;;SY)"
     L"(A;;0x20019;;;SY)(A;;0x20006;;;SY)(A;;KX;;;SY)(A;;FAFR;;;SY)",
     "D:(A;;FA;;;SY)(A;;FR;;;SY)(A;;FW;;;SY)(A;;FX;;;SY)(A;;KA;;;SY)(A;;KR;;;SY)(A;;KW;;;SY)(A;;KR;;;SY)(A;;FA;;;SY)"},
    {"masks without a letter for every bit stay hexadecimal",
     L"D:(A;;0x100000;;;WD)(A;;0x100001;;;WD)(A;;0x30000;;;WD)(A;;123;;;WD)(A;;;;;WD)(A;;0xffffffff;;;WD)",
     "D:(A;;0x100000;;;WD)(A;;0x100001;;;WD)(A;;SDRC;;;WD)(A;;CCDCSWRPWPDT;;;WD)(A;;;;;WD)(A;;0xffffffff;;;WD)"},
    {"generic rights", L"D:(D;;GAGRGWGX;;;SY)", "D:(D;;GAGXGWGR;;;SY)"},
    {"DACL flags", L"D:PARAI(A;;CC;;;SY)", "D:PARAI(A;;CC;;;SY)"},
    {"empty DACL", L"O:BAD:", "O:BAD:"},
    {"audit and alarm entries in a system ACL part", L"S:(AU;SAFA;FA;;;WD)(AL;SA;RC;;;BA)O:SY",
     "O:SYS:(AU;SAFA;FA;;;WD)(AL;SA;RC;;;BA)"},
    {"DACL and SACL together", L"D:(A;CI;CC;;;WD)(D;;CC;;;WD)S:(AU;FA;CC;;;WD)(AU;SA;CC;;;BA)",
     "D:(A;CI;CC;;;WD)(D;;CC;;;WD)S:(AU;FA;CC;;;WD)(AU;SA;CC;;;BA)"},
    {"parts in any order come back as O, G, D, S", L"D:(A;;CC;;;WD)G:SYO:BA", "O:BAG:SYD:(A;;CC;;;WD)"},
    {"spaces between parts and flags", L" O:BA G:SY D:P AI(A;;CC;;;WD)", "O:BAG:SYD:PAI(A;;CC;;;WD)"},
    {"a repeated part replaces the earlier one", L"O:BAO:SY", "O:SY"},
    {"empty text", L"", ""},
};

TEST(SddlConversion, RoundTripsToCanonicalText) {
  for (const RoundTripCase& row : kRoundTrips) {
    EXPECT_EQ(RoundTrip(row.text), row.canonical) << row.name;
  }
}

TEST(SddlConversion, SecurityInformationSelectsTheParts) {
  BytesResult descriptor = TextToDescriptor(L"O:BAG:SYD:(A;;CC;;;WD)S:(AU;FA;CC;;;WD)");
  ASSERT_TRUE(descriptor.ok);
  const struct {
    SECURITY_INFORMATION information;
    const char* text;
  } rows[] = {
      {OWNER_SECURITY_INFORMATION, "O:BA"},
      {GROUP_SECURITY_INFORMATION, "G:SY"},
      {DACL_SECURITY_INFORMATION, "D:(A;;CC;;;WD)"},
      {SACL_SECURITY_INFORMATION, "S:(AU;FA;CC;;;WD)"},
      {OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, "O:BAD:(A;;CC;;;WD)"},
  };
  for (const auto& row : rows) {
    TextResult text = DescriptorToText(descriptor.bytes, row.information);
    ASSERT_TRUE(text.ok) << row.text;
    EXPECT_EQ(Narrow(text.text), row.text) << "information " << row.information;
  }
}

struct MalformedCase {
  const char* name;
  const wchar_t* text;
  DWORD error;
};

const MalformedCase kMalformed[] = {
    {"unknown owner alias", L"O:XX", ERROR_INVALID_SID},
    {"unknown part letter", L"X:BA", ERROR_INVALID_PARAMETER},
    {"entry without its closing parenthesis", L"D:(A;CI;CC;;;WD", ERROR_INVALID_ACL},
    {"entry cut short", L"D:(A;;CC;;;)", ERROR_INVALID_ACL},
    {"unknown rights letters", L"D:(A;;XY;;;WD)", ERROR_INVALID_ACL},
    {"odd rights letter", L"D:(A;;C;;;WD)", ERROR_INVALID_ACL},
    {"rights letters in lower case", L"D:(A;;cc;;;WD)", ERROR_INVALID_ACL},
    {"ACE flags in lower case", L"D:(A;oi;CC;;;WD)", ERROR_INVALID_ACL},
    {"spaces inside an entry", L"D:(A; CI ;CC;;; WD )", ERROR_INVALID_ACL},
    {"malformed S- form in an entry", L"D:(A;;CC;;;S-1-5-x)", ERROR_INVALID_ACL},
    {"object GUID on a plain entry", L"D:(A;;CC;{00000000-0000-0000-0000-000000000000};;WD)", ERROR_INVALID_ACL},
    {"extra field after the SID", L"D:(A;;CC;;;WD;)", ERROR_INVALID_ACL},
};

TEST(SddlConversion, MalformedTextFailsWithTheLastErrorSet) {
  for (const MalformedCase& row : kMalformed) {
    BytesResult result = TextToDescriptor(row.text);
    EXPECT_FALSE(result.ok) << row.name;
    EXPECT_EQ(result.error, row.error) << row.name;
  }
}

TEST(SddlConversion, RefusesAnUnknownRevision) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BA", 2, &raw, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));
}

// Descriptors as bytes, so that one made on either build reads the same on the other. The
// writers lay canonical text out as header, owner, group, DACL, SACL with minimal ACL sizes.
struct GoldenCase {
  const char* name;
  const wchar_t* text;
  const char* bytes;
};

const GoldenCase kGolden[] = {
    {"namespace default",
     L"O:BAG:BAD:(A;CI;CCDCLCSWRPWPRCWD;;;BA)(A;CI;CCDCRP;;;NS)(A;CI;CCDCRP;;;LS)(A;CI;CCDCRP;;;AU)",
     "0100048014000000240000000000000034000000"
     "01020000000000052000000020020000"
     "01020000000000052000000020020000"
     "02005c0004000000"
     "000218003f000600"
     "01020000000000052000000020020000"
     "0002140013000000"
     "010100000000000514000000"
     "0002140013000000"
     "010100000000000513000000"
     "0002140013000000"
     "01010000000000050b000000"},
    {"protected inherited DACL with every ACE flag", L"D:PAI(A;OICINPIOID;LCSWRP;;;WD)",
     "0100049400000000000000000000000014000000"
     "02001c0001000000"
     "001f14001c000000"
     "010100000000000100000000"},
    {"owner, group, DACL and SACL", L"O:BAG:SYD:(A;;CC;;;WD)S:(AU;FA;CC;;;WD)",
     "0100148014000000240000004c00000030000000"
     "01020000000000052000000020020000"
     "010100000000000512000000"
     "02001c0001000000"
     "0000140001000000"
     "010100000000000100000000"
     "02001c0001000000"
     "0280140001000000"
     "010100000000000100000000"},
    {"account SID", L"D:(D;;0x100000;;;S-1-5-21-1-2-3-1001)",
     "0100048000000000000000000000000014000000"
     "02002c0001000000"
     "0100240000001000"
     "010500000000000515000000010000000200000003000000e9030000"},
};

TEST(SddlConversion, WritesGoldenBytes) {
  for (const GoldenCase& row : kGolden) {
    BytesResult result = TextToDescriptor(row.text);
    ASSERT_TRUE(result.ok) << row.name;
    EXPECT_EQ(Hex(result.bytes), row.bytes) << row.name;
  }
}

TEST(SddlConversion, ReadsGoldenBytes) {
  for (const GoldenCase& row : kGolden) {
    TextResult result = DescriptorToText(FromHex(row.bytes));
    ASSERT_TRUE(result.ok) << row.name;
    EXPECT_EQ(result.text, row.text) << row.name;
  }
}

// A descriptor laid out in another order (SACL, DACL, owner, group, as the platform's kernel
// writes them) and with slack in its ACL sizes reads the same.
TEST(SddlConversion, ReadsDescriptorsLaidOutInAnotherOrder) {
  const std::string bytes =
      "0100148064000000740000001400000030000000"
      "02001c0001000000"
      "0280140001000000"
      "010100000000000100000000"
      "0200340002000000"
      "0000140001000000"
      "010100000000000100000000"
      "0100140002000000"
      "010100000000000512000000"
      "00000000"
      "01020000000000052000000020020000"
      "010100000000000512000000";
  TextResult result = DescriptorToText(FromHex(bytes));
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(Narrow(result.text), "O:BAG:SYD:(A;;CC;;;WD)(D;;DC;;;SY)S:(AU;FA;CC;;;WD)");
}

struct SidCase {
  const wchar_t* text;
  const char* expected;  // nullptr: must fail
  const char* bytes;     // binary form, when checked
};

const SidCase kSids[] = {
    {L"S-1-5-32-544", "S-1-5-32-544", "01020000000000052000000020020000"},
    {L"BA", "S-1-5-32-544", nullptr},
    {L"wd", "S-1-1-0", "010100000000000100000000"},
    {L"SY", "S-1-5-18", nullptr},
    {L"s-1-5-18", "S-1-5-18", nullptr},
    {L"S-1-5-21-3623811015-3361044348-30300820-1001", "S-1-5-21-3623811015-3361044348-30300820-1001",
     "010500000000000515000000c7f7fed77c7755c8945ace01e9030000"},
    {L"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", nullptr},
    {L"S-1-5-4294967295", "S-1-5-4294967295", "0101000000000005ffffffff"},
    {L"S-2-5-18", nullptr, nullptr},
    {L"S-1-5-", nullptr, nullptr},
    {L"S-1--5", nullptr, nullptr},
    {L"S-1-5-18 ", nullptr, nullptr},
    {L"S-1-5-x", nullptr, nullptr},
    {L"XX", nullptr, nullptr},
    {L"", nullptr, nullptr},
};

TEST(SidConversion, TextAndBinaryForms) {
  for (const SidCase& row : kSids) {
    std::vector<BYTE> binary;
    TextResult result = SidRoundTrip(row.text, &binary);
    if (row.expected == nullptr) {
      EXPECT_FALSE(result.ok) << Narrow(row.text);
      EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_INVALID_SID)) << Narrow(row.text);
      continue;
    }
    ASSERT_TRUE(result.ok) << Narrow(row.text);
    EXPECT_EQ(Narrow(result.text), row.expected) << Narrow(row.text);
    if (row.bytes != nullptr) {
      EXPECT_EQ(Hex(binary), row.bytes) << Narrow(row.text);
    }
  }
}

TEST(SidConversion, EqualSidComparesValues) {
  PSID first = nullptr;
  PSID second = nullptr;
  PSID third = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(L"BA", &first));
  tessarwick::UniqueLocal<PSID> ownFirst(first);
  ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-32-544", &second));
  tessarwick::UniqueLocal<PSID> ownSecond(second);
  ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-32-545", &third));
  tessarwick::UniqueLocal<PSID> ownThird(third);
  EXPECT_TRUE(EqualSid(first, second));
  EXPECT_FALSE(EqualSid(first, third));
}

// The one place where the real services (wine's) and the stand-in are allowed to differ, each
// row naming the difference. `standIn` is what the stand-in gives, `real` what wine 8 gives;
// a row whose two outcomes agree does not belong here.
struct Difference {
  const char* difference;
  const wchar_t* text;
  const char* standIn;
  const char* real;
};

const Difference kDifferences[] = {
    {"text after the last part: the stand-in refuses it, wine ignores it", L"D:(A;;CC;;;WD)x", "failed with 87",
     "D:(A;;CC;;;WD)"},
    {"unknown DACL flag: the stand-in refuses it, wine skips it", L"D:Q(A;;CC;;;WD)", "failed with 87",
     "D:(A;;CC;;;WD)"},
    {"empty owner: the stand-in refuses it, wine makes the null SID", L"O:", "failed with 1337", "O:S-1-0-0"},
    {"a rights number beyond 32 bits: the stand-in refuses it, wine saturates it", L"D:(A;;0x1FFFFFFFF;;;WD)",
     "failed with 1336", "D:(A;;0xffffffff;;;WD)"},
    {"NO_ACCESS_CONTROL: the stand-in makes a null DACL as the platform documents, wine an empty one",
     L"D:NO_ACCESS_CONTROL", "D:NO_ACCESS_CONTROL", "D:"},
    {"SACL flags: wine writes the DACL's flags in the S: part", L"D:PAI(A;;CC;;;WD)S:(AU;FA;CC;;;WD)",
     "D:PAI(A;;CC;;;WD)S:(AU;FA;CC;;;WD)", "D:PAI(A;;CC;;;WD)S:PAI(AU;FA;CC;;;WD)"},
    // Entries of a type the namespace service does not take fail on both; wine reports them
    // with the code of a malformed GUID string (1705), the stand-in as an invalid ACL.
    {"conditional entry: error code", L"D:(XA;;CC;;;WD;(@User.x==1))", "failed with 1336", "failed with 1705"},
    {"object entry type: error code", L"D:(OA;;CC;;;WD)", "failed with 1336", "failed with 1705"},
    {"entry type in lower case: error code", L"D:(a;;CC;;;WD)", "failed with 1336", "failed with 1705"},
    {"unterminated entry after a good one: error code", L"D:(A;;CC;;;WD)(", "failed with 1336", "failed with 1705"},
    {"ER (Event Log Readers): an alias wine does not know", L"D:(A;;CC;;;ER)", "D:(A;;CC;;;ER)", "failed with 1336"},
    {"the local computer's SID: each service has its own, and wine writes its local aliases in S- form", L"O:LAG:DA",
     "O:LAG:DA", "O:S-1-5-21-0-0-0-500G:S-1-5-21-0-0-0-512"},
};

TEST(SddlConversion, KnownDifferences) {
  for (const Difference& row : kDifferences) {
    EXPECT_EQ(RoundTrip(row.text), kRealServices ? row.real : row.standIn) << row.difference;
  }
  // The stand-in's computer has a fixed SID, so its local accounts are known exactly.
  if (!kRealServices) {
    TextResult administrator = SidRoundTrip(L"LA");
    EXPECT_EQ(Narrow(administrator.text), "S-1-5-21-3623811015-3361044348-30300820-500");
  }
}

// Whatever the computer's SID, the local aliases are its accounts: LA and LG share the domain
// part and differ in the well-known relative IDs.
TEST(SidConversion, LocalAliasesShareTheComputersSid) {
  TextResult administrator = SidRoundTrip(L"LA");
  TextResult guest = SidRoundTrip(L"LG");
  ASSERT_TRUE(administrator.ok);
  ASSERT_TRUE(guest.ok);
  const std::string admin = Narrow(administrator.text);
  const std::string guestText = Narrow(guest.text);
  ASSERT_TRUE(admin.starts_with("S-1-5-21-")) << admin;
  ASSERT_TRUE(admin.ends_with("-500")) << admin;
  EXPECT_EQ(guestText, admin.substr(0, admin.size() - 4) + "-501");
}

}  // namespace
