// The stand-in's model of a security descriptor, shared by its SDDL codec, its binary
// (self-relative) codec and the simulated WMI host, which stores, inherits and validates
// namespace descriptors through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/portable/Base.h"

namespace tessarwick::portable {

struct Sid {
  std::uint8_t revision = 1;
  std::uint64_t authority = 0;  // 48 bits
  std::vector<std::uint32_t> subAuthorities;
  friend bool operator==(const Sid&, const Sid&) = default;
};

// The SID of the simulated local computer; SDDL aliases for local accounts and groups
// (LA, LG, ...) and the domain-relative aliases resolve against it.
Sid LocalMachineSid();

struct Ace {
  std::uint8_t type = 0;   // ACCESS_ALLOWED_ACE_TYPE (0), ACCESS_DENIED (1), SYSTEM_AUDIT (2), SYSTEM_ALARM (3)
  std::uint8_t flags = 0;  // OBJECT_INHERIT 0x1, CONTAINER_INHERIT 0x2, NO_PROPAGATE 0x4, INHERIT_ONLY 0x8,
                           // INHERITED 0x10, SUCCESSFUL_ACCESS 0x40, FAILED_ACCESS 0x80
  std::uint32_t mask = 0;
  Sid sid;
  friend bool operator==(const Ace&, const Ace&) = default;
};

struct Acl {
  std::uint8_t revision = 2;  // ACL_REVISION
  std::vector<Ace> entries;
  friend bool operator==(const Acl&, const Acl&) = default;
};

// Control flags as in the self-relative layout: SE_DACL_PRESENT 0x4, SE_SACL_PRESENT 0x10,
// SE_DACL_AUTO_INHERIT_REQ 0x100, SE_SACL_AUTO_INHERIT_REQ 0x200, SE_DACL_AUTO_INHERITED 0x400,
// SE_SACL_AUTO_INHERITED 0x800, SE_DACL_PROTECTED 0x1000, SE_SACL_PROTECTED 0x2000,
// SE_SELF_RELATIVE 0x8000.
struct SecurityDescriptor {
  std::uint16_t control = 0;
  std::optional<Sid> owner;
  std::optional<Sid> group;
  // An ACL is held exactly when its present bit is set, except a null ACL: present bit set and
  // no ACL (binary offset 0, SDDL "NO_ACCESS_CONTROL"), which for a DACL grants everyone every
  // right. Descriptors read from SDDL also carry SE_SELF_RELATIVE, as the binary form does.
  std::optional<Acl> dacl;
  std::optional<Acl> sacl;
  friend bool operator==(const SecurityDescriptor&, const SecurityDescriptor&) = default;
};

// Binary self-relative form (revision 1). Parse fails with a Windows error code
// (ERROR_INVALID_SECURITY_DESCR, ERROR_INVALID_ACL, ERROR_INVALID_SID) on any truncated,
// overlapping or inconsistent layout, never reading outside [bytes, bytes + length).
bool ParseSelfRelative(const BYTE* bytes, std::size_t length, SecurityDescriptor& out, DWORD& error);
// Writes owner, group, DACL, SACL in that order, with minimal ACL and ACE sizes. A DACL or SACL
// whose present bit is set in `control` while the optional is empty is a null ACL (offset 0,
// written "NO_ACCESS_CONTROL" in SDDL). Every ACL must satisfy FitsAclSize.
std::vector<BYTE> WriteSelfRelative(const SecurityDescriptor& descriptor);
// Whether the ACL's binary size fits the layout's 16-bit size field (at most 65535 bytes).
bool FitsAclSize(const Acl& acl);

// SDDL text. Parse fails with ERROR_INVALID_PARAMETER (or a more specific code: ERROR_INVALID_SID
// for the owner or group, ERROR_INVALID_ACL for anything inside a D: or S: part) and the offset
// of the fault; `out` is left untouched then. Format writes the parts selected by the SECURITY_INFORMATION bits
// (OWNER 0x1, GROUP 0x2, DACL 0x4, SACL 0x8) in the order O, G, D, S, in the platform's
// canonical form.
bool ParseSddl(std::wstring_view text, SecurityDescriptor& out, DWORD& error, std::size_t& errorOffset);
std::wstring FormatSddl(const SecurityDescriptor& descriptor, std::uint32_t information);

// SID text ("S-1-5-32-544") and aliases ("BA").
bool ParseSidText(std::wstring_view text, Sid& out);  // "S-" form or a two-letter alias
std::wstring FormatSidText(const Sid& sid);           // always the "S-" form
std::wstring FormatSidForSddl(const Sid& sid);        // the alias when one exists, else "S-" form

// Binary SID layout (revision, count, 6-byte big-endian authority, little-endian sub-authorities).
std::vector<BYTE> WriteSid(const Sid& sid);
bool ParseSid(const BYTE* bytes, std::size_t length, Sid& out, std::size_t& used);

}  // namespace tessarwick::portable
