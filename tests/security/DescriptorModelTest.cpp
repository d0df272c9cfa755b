// Unit tests of the stand-in's descriptor model: the SDDL reader's fault offsets, the binary
// parser's bounds on truncated, overlapping and inconsistent layouts, and the alias table.
// Buffers are copied to exactly-sized heap blocks so that a read past the end is caught by the
// sanitizer build.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/portable/Sddl.h"
#include "platform/portable/security/Descriptor.h"

namespace tessarwick::portable {
namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

SecurityDescriptor ParseOrDie(const wchar_t* text) {
  SecurityDescriptor descriptor;
  DWORD error = 0;
  std::size_t offset = 0;
  EXPECT_TRUE(ParseSddl(text, descriptor, error, offset)) << Narrow(text) << " error " << error << " at " << offset;
  return descriptor;
}

// Parses exactly `length` bytes from a heap block of that size.
bool ParseExact(const std::vector<BYTE>& bytes, std::size_t length, SecurityDescriptor& out, DWORD& error) {
  std::unique_ptr<BYTE[]> block(new BYTE[length == 0 ? 1 : length]);
  std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length), block.get());
  return ParseSelfRelative(block.get(), length, out, error);
}

Sid MakeSid(std::uint64_t authority, std::vector<std::uint32_t> subAuthorities) {
  return Sid{1, authority, std::move(subAuthorities)};
}

TEST(DescriptorModel, ParsesTheNamespaceDefaultIntoTheModel) {
  SecurityDescriptor descriptor =
      ParseOrDie(L"O:BAG:BAD:(A;CI;CCDCLCSWRPWPRCWD;;;BA)(A;CI;CCDCRP;;;NS)(A;CI;CCDCRP;;;LS)(A;CI;CCDCRP;;;AU)");
  const Sid administrators = MakeSid(5, {32, 544});
  EXPECT_EQ(descriptor.control, SE_SELF_RELATIVE | SE_DACL_PRESENT);
  EXPECT_EQ(descriptor.owner, administrators);
  EXPECT_EQ(descriptor.group, administrators);
  EXPECT_FALSE(descriptor.sacl.has_value());
  ASSERT_TRUE(descriptor.dacl.has_value());
  EXPECT_EQ(descriptor.dacl->revision, ACL_REVISION);
  const std::vector<Ace> expected = {
      {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, 0x6003F, administrators},
      {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, 0x13, MakeSid(5, {20})},
      {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, 0x13, MakeSid(5, {19})},
      {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, 0x13, MakeSid(5, {11})},
  };
  EXPECT_EQ(descriptor.dacl->entries, expected);
}

TEST(DescriptorModel, ControlFlagsOfBothAcls) {
  SecurityDescriptor descriptor = ParseOrDie(L"D:PAI(A;;CC;;;WD)S:ARAI(AU;SA;CC;;;WD)");
  EXPECT_EQ(descriptor.control, SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED |
                                    SE_SACL_PRESENT | SE_SACL_AUTO_INHERIT_REQ | SE_SACL_AUTO_INHERITED);
  EXPECT_EQ(FormatSddl(descriptor, 15), L"D:PAI(A;;CC;;;WD)S:ARAI(AU;SA;CC;;;WD)");
}

struct FaultCase {
  const wchar_t* text;
  DWORD error;
  std::size_t offset;
};

TEST(DescriptorModel, MalformedTextReportsTheOffsetOfTheFault) {
  const FaultCase rows[] = {
      {L"O:XX", ERROR_INVALID_SID, 2},
      {L"O:BAX:BA", ERROR_INVALID_PARAMETER, 4},
      {L"X:BA", ERROR_INVALID_PARAMETER, 0},
      {L"D:(A;;CC;;;WD)x", ERROR_INVALID_PARAMETER, 14},
      {L"D:(XA;;CC;;;WD;(@User.x==1))", ERROR_INVALID_ACL, 3},
      {L"D:(A;CIQQ;CC;;;WD)", ERROR_INVALID_ACL, 7},
      {L"D:(A;;CCXY;;;WD)", ERROR_INVALID_ACL, 8},
      {L"D:(A;;0x1FFFFFFFF;;;WD)", ERROR_INVALID_ACL, 6},
      {L"D:(A;;CC;;;WD", ERROR_INVALID_ACL, 11},
      {L"D:(A;;CC;;;WD;(x))", ERROR_INVALID_ACL, 13},
      {L"D:(A;;CC;x;;WD)", ERROR_INVALID_ACL, 9},
      {L"D:(A;;CC;;;S-1-5-)", ERROR_INVALID_ACL, 11},
      {L"D:NO_ACCESS_CONTROL(A;;CC;;;WD)", ERROR_INVALID_ACL, 31},
  };
  for (const FaultCase& row : rows) {
    SecurityDescriptor descriptor;
    descriptor.owner = MakeSid(1, {0});
    DWORD error = 0;
    std::size_t offset = 0;
    EXPECT_FALSE(ParseSddl(row.text, descriptor, error, offset)) << Narrow(row.text);
    EXPECT_EQ(error, row.error) << Narrow(row.text);
    EXPECT_EQ(offset, row.offset) << Narrow(row.text);
    // Nothing is returned from a failed parse.
    EXPECT_EQ(descriptor.owner, MakeSid(1, {0})) << Narrow(row.text);
  }
}

TEST(DescriptorModel, NullDaclReadsWritesAndFormats) {
  SecurityDescriptor descriptor = ParseOrDie(L"O:BAD:NO_ACCESS_CONTROL");
  EXPECT_FALSE(descriptor.dacl.has_value());
  EXPECT_TRUE(descriptor.control & SE_DACL_PRESENT);
  std::vector<BYTE> bytes = WriteSelfRelative(descriptor);
  SecurityDescriptor back;
  DWORD error = 0;
  ASSERT_TRUE(ParseExact(bytes, bytes.size(), back, error));
  EXPECT_EQ(back, descriptor);
  EXPECT_EQ(FormatSddl(back, 15), L"O:BAD:NO_ACCESS_CONTROL");
}

TEST(DescriptorModel, BinaryRoundTripKeepsEveryField) {
  SecurityDescriptor descriptor = ParseOrDie(
      L"O:S-1-5-21-1-2-3-1001G:SYD:PAI(A;OICIID;0x1F01FF;;;BA)(D;NP;0x100001;;;S-1-0x123456789ABC-7)"
      L"S:AR(AU;SAFA;GA;;;WD)(AL;IO;CR;;;AN)");
  std::vector<BYTE> bytes = WriteSelfRelative(descriptor);
  SecurityDescriptor back;
  DWORD error = 0;
  ASSERT_TRUE(ParseExact(bytes, bytes.size(), back, error)) << error;
  EXPECT_EQ(back, descriptor);
}

// Every proper prefix of a descriptor cuts one of its parts, so every one must be refused
// without reading past its end.
TEST(DescriptorModel, EveryTruncationFails) {
  std::vector<BYTE> bytes =
      WriteSelfRelative(ParseOrDie(L"O:BAG:SYD:(A;CI;CCDC;;;S-1-5-21-1-2-3-1001)(D;;CC;;;WD)S:(AU;FA;CC;;;WD)"));
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    SecurityDescriptor out;
    DWORD error = 0;
    EXPECT_FALSE(ParseExact(bytes, length, out, error)) << "length " << length;
    EXPECT_NE(error, ERROR_SUCCESS) << "length " << length;
  }
}

// Layout faults, each made by patching a good descriptor: O:BAG:SYD:(A;;CC;;;WD)
// header 0..19, owner 20..35, group 36..47, DACL 48..75 (ACL header 48..55, ACE 56..75).
struct LayoutFault {
  const char* name;
  std::size_t at;
  std::vector<BYTE> patch;
  DWORD error;
};

TEST(DescriptorModel, InconsistentLayoutsFailWithTheirCause) {
  const std::vector<BYTE> good = WriteSelfRelative(ParseOrDie(L"O:BAG:SYD:(A;;CC;;;WD)"));
  ASSERT_EQ(good.size(), 76u);
  const LayoutFault rows[] = {
      {"unknown descriptor revision", 0, {2}, ERROR_UNKNOWN_REVISION},
      {"absolute form", 3, {0x00}, ERROR_INVALID_SECURITY_DESCR},
      {"owner inside the header", 4, {8, 0, 0, 0}, ERROR_INVALID_SECURITY_DESCR},
      {"owner beyond the end", 4, {76, 0, 0, 0}, ERROR_INVALID_SECURITY_DESCR},
      {"owner offset far beyond the end", 4, {0xFF, 0xFF, 0xFF, 0xFF}, ERROR_INVALID_SECURITY_DESCR},
      {"group overlapping the owner", 8, {20, 0, 0, 0}, ERROR_INVALID_SECURITY_DESCR},
      {"DACL offset into the group, which is no ACL", 16, {40, 0, 0, 0}, ERROR_INVALID_ACL},
      {"SACL and DACL sharing their bytes",
       2,
       {0x14, 0x80, 20, 0, 0, 0, 36, 0, 0, 0, 48, 0, 0, 0},
       ERROR_INVALID_SECURITY_DESCR},
      {"owner SID revision", 20, {2}, ERROR_INVALID_SID},
      {"owner SID with 16 sub-authorities", 21, {16}, ERROR_INVALID_SID},
      {"owner SID longer than the buffer", 21, {15}, ERROR_INVALID_SID},
      {"ACL revision 1", 48, {1}, ERROR_INVALID_ACL},
      {"ACL size beyond the buffer", 50, {29, 0}, ERROR_INVALID_ACL},
      {"ACL size smaller than its header", 50, {7, 0}, ERROR_INVALID_ACL},
      {"more entries than the ACL holds", 52, {2, 0}, ERROR_INVALID_ACL},
      {"entry size beyond the ACL", 58, {21, 0}, ERROR_INVALID_ACL},
      {"entry size smaller than its header", 58, {4, 0}, ERROR_INVALID_ACL},
      {"entry too small for its SID", 58, {16, 0}, ERROR_INVALID_ACL},
      {"object entry type", 56, {5}, ERROR_INVALID_ACL},
  };
  for (const LayoutFault& row : rows) {
    std::vector<BYTE> bytes = good;
    std::copy(row.patch.begin(), row.patch.end(), bytes.begin() + static_cast<std::ptrdiff_t>(row.at));
    SecurityDescriptor out;
    DWORD error = 0;
    EXPECT_FALSE(ParseExact(bytes, bytes.size(), out, error)) << row.name;
    EXPECT_EQ(error, row.error) << row.name;
  }
}

// A fault found after a good ACL still names its own cause (found by the descriptor fuzzer: a
// good SACL followed by a DACL offset beyond the end once reported success as its error).
TEST(DescriptorModel, FaultAfterAGoodAclKeepsItsErrorCode) {
  std::vector<BYTE> bytes = WriteSelfRelative(ParseOrDie(L"D:(A;;CC;;;WD)S:(AU;FA;CC;;;WD)"));
  bytes[16] = static_cast<BYTE>(bytes.size());  // DACL offset just past the end
  SecurityDescriptor out;
  DWORD error = 0;
  EXPECT_FALSE(ParseExact(bytes, bytes.size(), out, error));
  EXPECT_EQ(error, ERROR_INVALID_SECURITY_DESCR);
}

TEST(DescriptorModel, AclWithoutItsPresentBitIsIgnored) {
  std::vector<BYTE> bytes = WriteSelfRelative(ParseOrDie(L"O:BAD:(A;;CC;;;WD)"));
  bytes[2] &= static_cast<BYTE>(~SE_DACL_PRESENT);
  SecurityDescriptor out;
  DWORD error = 0;
  ASSERT_TRUE(ParseExact(bytes, bytes.size(), out, error));
  EXPECT_FALSE(out.dacl.has_value());
  EXPECT_EQ(FormatSddl(out, 15), L"O:BA");
}

TEST(DescriptorModel, SlackAfterEntriesAndSidsIsAccepted) {
  // An ACE larger than its SID and an ACL larger than its entries, as other writers leave them.
  std::vector<BYTE> bytes = WriteSelfRelative(ParseOrDie(L"D:(A;;CC;;;WD)"));
  bytes.insert(bytes.end(), 8, 0);
  bytes[22] = 36;  // ACL size 28 -> 36
  bytes[30] = 28;  // ACE size 20 -> 28
  SecurityDescriptor out;
  DWORD error = 0;
  ASSERT_TRUE(ParseExact(bytes, bytes.size(), out, error)) << error;
  EXPECT_EQ(FormatSddl(out, 15), L"D:(A;;CC;;;WD)");
}

TEST(DescriptorModel, SidBinaryBounds) {
  const std::vector<BYTE> bytes = WriteSid(MakeSid(5, {32, 544}));
  ASSERT_EQ(bytes.size(), 16u);
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    std::unique_ptr<BYTE[]> block(new BYTE[length == 0 ? 1 : length]);
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length), block.get());
    Sid out;
    std::size_t used = 0;
    EXPECT_FALSE(ParseSid(block.get(), length, out, used)) << "length " << length;
  }
  Sid out;
  std::size_t used = 0;
  std::vector<BYTE> longer = bytes;
  longer.push_back(0xAB);
  ASSERT_TRUE(ParseSid(longer.data(), longer.size(), out, used));
  EXPECT_EQ(used, 16u);
  EXPECT_EQ(out, MakeSid(5, {32, 544}));
}

struct SidTextCase {
  const wchar_t* text;
  const wchar_t* formatted;  // nullptr: must fail
};

TEST(DescriptorModel, SidTextEdges) {
  const SidTextCase rows[] = {
      {L"S-1-0x123456789ABC-5", L"S-1-0x123456789ABC-5"},
      {L"S-1-0xffffffffffff-1", L"S-1-0xFFFFFFFFFFFF-1"},
      {L"S-1-4294967295-1", L"S-1-4294967295-1"},
      {L"S-1-4294967296-1", L"S-1-0x000100000000-1"},
      {L"S-1-5", L"S-1-5"},
      {L"S-1-0x1000000000000-1", nullptr},
      {L"S-1-5-4294967296", nullptr},
      {L"S-1-5-0x10", nullptr},
      {L"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", nullptr},
      {L"S-1", nullptr},
      {L"S-", nullptr},
      {L"S-1-5--1", nullptr},
      {L"S-1-+5-1", nullptr},
  };
  for (const SidTextCase& row : rows) {
    Sid sid;
    const bool ok = ParseSidText(row.text, sid);
    EXPECT_EQ(ok, row.formatted != nullptr) << Narrow(row.text);
    if (ok && row.formatted != nullptr) {
      EXPECT_EQ(FormatSidText(sid), row.formatted) << Narrow(row.text);
    }
  }
}

struct AliasCase {
  const wchar_t* alias;
  const wchar_t* sid;
};

TEST(DescriptorModel, AliasesReadAndWriteTheirWellKnownSids) {
  const AliasCase rows[] = {
      {L"WD", L"S-1-1-0"},
      {L"CO", L"S-1-3-0"},
      {L"CG", L"S-1-3-1"},
      {L"AN", L"S-1-5-7"},
      {L"AU", L"S-1-5-11"},
      {L"BA", L"S-1-5-32-544"},
      {L"BU", L"S-1-5-32-545"},
      {L"BG", L"S-1-5-32-546"},
      {L"PU", L"S-1-5-32-547"},
      {L"BO", L"S-1-5-32-551"},
      {L"SO", L"S-1-5-32-549"},
      {L"AO", L"S-1-5-32-548"},
      {L"PO", L"S-1-5-32-550"},
      {L"RD", L"S-1-5-32-555"},
      {L"NU", L"S-1-5-2"},
      {L"IU", L"S-1-5-4"},
      {L"SU", L"S-1-5-6"},
      {L"SY", L"S-1-5-18"},
      {L"LS", L"S-1-5-19"},
      {L"NS", L"S-1-5-20"},
      {L"NO", L"S-1-5-32-556"},
      {L"RU", L"S-1-5-32-554"},
      {L"ER", L"S-1-5-32-573"},
      {L"RE", L"S-1-5-32-552"},
      {L"PS", L"S-1-5-10"},
      {L"ED", L"S-1-5-9"},
      {L"RC", L"S-1-5-12"},
      {L"LA", L"S-1-5-21-3623811015-3361044348-30300820-500"},
      {L"LG", L"S-1-5-21-3623811015-3361044348-30300820-501"},
      {L"DA", L"S-1-5-21-3623811015-3361044348-30300820-512"},
      {L"DU", L"S-1-5-21-3623811015-3361044348-30300820-513"},
      {L"DG", L"S-1-5-21-3623811015-3361044348-30300820-514"},
      {L"CA", L"S-1-5-21-3623811015-3361044348-30300820-517"},
  };
  for (const AliasCase& row : rows) {
    Sid sid;
    ASSERT_TRUE(ParseSidText(row.alias, sid)) << Narrow(row.alias);
    EXPECT_EQ(FormatSidText(sid), row.sid) << Narrow(row.alias);
    Sid fromText;
    ASSERT_TRUE(ParseSidText(row.sid, fromText)) << Narrow(row.sid);
    EXPECT_EQ(FormatSidForSddl(fromText), row.alias) << Narrow(row.sid);
  }
  EXPECT_EQ(FormatSidText(LocalMachineSid()), L"S-1-5-21-3623811015-3361044348-30300820");
  EXPECT_EQ(FormatSidForSddl(MakeSid(5, {21, 1, 2, 3, 1001})), L"S-1-5-21-1-2-3-1001");
}

TEST(DescriptorModel, AclLargerThanItsSizeFieldIsRefused) {
  // 3277 entries of 20 bytes make an ACL of 65548 bytes, past the 16-bit size field.
  std::wstring text = L"D:";
  for (int i = 0; i < 3277; ++i) text += L"(A;;CC;;;WD)";
  SecurityDescriptor descriptor;
  DWORD error = 0;
  std::size_t offset = 0;
  EXPECT_FALSE(ParseSddl(text, descriptor, error, offset));
  EXPECT_EQ(error, ERROR_INVALID_ACL);
  text.resize(text.size() - 12);
  EXPECT_TRUE(ParseSddl(text, descriptor, error, offset));
}

TEST(DescriptorModel, ServicesReturnNothingOnFailure) {
  PSECURITY_DESCRIPTOR descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(0x1);
  EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:XX", SDDL_REVISION_1, &descriptor, nullptr));
  EXPECT_EQ(descriptor, nullptr);
  PSID sid = reinterpret_cast<PSID>(0x1);
  EXPECT_FALSE(ConvertStringSidToSidW(L"S-1-", &sid));
  EXPECT_EQ(sid, nullptr);
  LPWSTR text = reinterpret_cast<LPWSTR>(0x1);
  BYTE notSelfRelative[20] = {1, 0, 0x04, 0x00};
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(
      ConvertSecurityDescriptorToStringSecurityDescriptorW(notSelfRelative, SDDL_REVISION_1, 15, &text, nullptr));
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR));
}

TEST(DescriptorModel, DescriptorLengthIsTheFurthestPart) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ULONG size = 0;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAG:SYD:(A;;CC;;;WD)S:(AU;FA;CC;;;WD)",
                                                                   SDDL_REVISION_1, &descriptor, &size));
  EXPECT_TRUE(IsValidSecurityDescriptor(descriptor));
  EXPECT_EQ(GetSecurityDescriptorLength(descriptor), size);
  LocalFree(descriptor);
}

}  // namespace
}  // namespace tessarwick::portable
