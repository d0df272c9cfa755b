// SDDL and SID conversion services (ConvertSecurityDescriptorToStringSecurityDescriptorW and
// friends), with the security types they pass. The names, widths and signatures are those of the
// platform's headers, so that one call site compiles against either; the descriptors and SIDs
// themselves are the platform's binary layouts (see platform/portable/security/Descriptor.h).
#pragma once

#include "platform/portable/Base.h"

// Opaque on the platform too: callers only hand these pointers between the services.
using PSID = void*;
using PSECURITY_DESCRIPTOR = void*;

using SECURITY_INFORMATION = DWORD;
using PSECURITY_INFORMATION = SECURITY_INFORMATION*;
constexpr SECURITY_INFORMATION OWNER_SECURITY_INFORMATION = 0x00000001;
constexpr SECURITY_INFORMATION GROUP_SECURITY_INFORMATION = 0x00000002;
constexpr SECURITY_INFORMATION DACL_SECURITY_INFORMATION = 0x00000004;
constexpr SECURITY_INFORMATION SACL_SECURITY_INFORMATION = 0x00000008;

constexpr DWORD SDDL_REVISION_1 = 1;
constexpr DWORD SDDL_REVISION = SDDL_REVISION_1;

struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];  // big-endian
};
using PSID_IDENTIFIER_AUTHORITY = SID_IDENTIFIER_AUTHORITY*;

// The binary SID header; SubAuthority really holds SubAuthorityCount entries.
struct SID {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[1];
};
using PISID = SID*;
constexpr BYTE SID_REVISION = 1;
constexpr BYTE SID_MAX_SUB_AUTHORITIES = 15;
constexpr DWORD SECURITY_MAX_SID_SIZE = 68;

using SECURITY_DESCRIPTOR_CONTROL = WORD;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_OWNER_DEFAULTED = 0x0001;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_GROUP_DEFAULTED = 0x0002;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_PRESENT = 0x0004;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_DEFAULTED = 0x0008;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_PRESENT = 0x0010;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_DEFAULTED = 0x0020;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_AUTO_INHERIT_REQ = 0x0100;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_AUTO_INHERIT_REQ = 0x0200;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_AUTO_INHERITED = 0x0400;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_AUTO_INHERITED = 0x0800;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_PROTECTED = 0x1000;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_PROTECTED = 0x2000;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SELF_RELATIVE = 0x8000;

constexpr BYTE ACL_REVISION = 2;
constexpr BYTE ACL_REVISION_DS = 4;
constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0x0;
constexpr BYTE ACCESS_DENIED_ACE_TYPE = 0x1;
constexpr BYTE SYSTEM_AUDIT_ACE_TYPE = 0x2;
constexpr BYTE SYSTEM_ALARM_ACE_TYPE = 0x3;
constexpr BYTE OBJECT_INHERIT_ACE = 0x01;
constexpr BYTE CONTAINER_INHERIT_ACE = 0x02;
constexpr BYTE NO_PROPAGATE_INHERIT_ACE = 0x04;
constexpr BYTE INHERIT_ONLY_ACE = 0x08;
constexpr BYTE INHERITED_ACE = 0x10;
constexpr BYTE SUCCESSFUL_ACCESS_ACE_FLAG = 0x40;
constexpr BYTE FAILED_ACCESS_ACE_FLAG = 0x80;

// Descriptor -> SDDL text. The text (and its length in characters, terminator included, when
// `length` is not null) is LocalAlloc'ed; on failure nothing is returned and the reason is the
// thread's last error.
BOOL ConvertSecurityDescriptorToStringSecurityDescriptorW(PSECURITY_DESCRIPTOR securityDescriptor,
                                                          DWORD requestedRevision, SECURITY_INFORMATION information,
                                                          LPWSTR* text, PULONG length);

// SDDL text -> self-relative descriptor, LocalAlloc'ed; `size` (optional) receives its size in bytes.
BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR text, DWORD revision,
                                                          PSECURITY_DESCRIPTOR* securityDescriptor, PULONG size);

// SID <-> "S-1-..." text (the text form also accepts the SDDL aliases, as on the platform).
BOOL ConvertSidToStringSidW(PSID sid, LPWSTR* text);
BOOL ConvertStringSidToSidW(LPCWSTR text, PSID* sid);

// Checks and sizes of the binary forms, as the platform's security base services give them.
BOOL IsValidSid(PSID sid);
DWORD GetLengthSid(PSID sid);
BOOL EqualSid(PSID first, PSID second);
BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR securityDescriptor);
DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR securityDescriptor);
