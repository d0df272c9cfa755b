// The stand-in's SDDL and SID conversion services: thin wrappers that move between the callers'
// LocalAlloc'ed buffers and the model codecs of Descriptor.h.
#include "platform/portable/Sddl.h"

#include <algorithm>
#include <cstring>

#include "platform/portable/security/Descriptor.h"

namespace {

using tessarwick::portable::SecurityDescriptor;
using tessarwick::portable::Sid;

// These services receive a bare pointer, as on the platform: the buffer's extent is whatever
// the descriptor's own offsets and sizes say, so the parser is bounded only by the 32-bit
// offsets and 16-bit ACL sizes of the layout.
constexpr std::size_t kUnboundedDescriptor = 0xFFFFFFFFull + 0x10000;

std::size_t SidExtent(PSID sid) { return 8 + 4 * static_cast<const BYTE*>(sid)[1]; }

bool ReadSid(PSID sid, Sid& out) {
  if (sid == nullptr) return false;
  std::size_t used = 0;
  return tessarwick::portable::ParseSid(static_cast<const BYTE*>(sid), SidExtent(sid), out, used);
}

bool ReadDescriptor(PSECURITY_DESCRIPTOR descriptor, SecurityDescriptor& out, DWORD& error) {
  if (descriptor == nullptr) {
    error = ERROR_INVALID_SECURITY_DESCR;
    return false;
  }
  return tessarwick::portable::ParseSelfRelative(static_cast<const BYTE*>(descriptor), kUnboundedDescriptor, out,
                                                 error);
}

// A LocalAlloc'ed, zero-terminated copy of `text`.
LPWSTR CopyToLocal(const std::wstring& text) {
  auto* buffer = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (text.size() + 1) * sizeof(wchar_t)));
  if (buffer != nullptr) std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return buffer;
}

void* CopyToLocal(const std::vector<BYTE>& bytes) {
  void* buffer = LocalAlloc(LMEM_FIXED, bytes.size());
  if (buffer != nullptr) std::memcpy(buffer, bytes.data(), bytes.size());
  return buffer;
}

BOOL Failure(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

BOOL ConvertSecurityDescriptorToStringSecurityDescriptorW(PSECURITY_DESCRIPTOR securityDescriptor,
                                                          DWORD requestedRevision, SECURITY_INFORMATION information,
                                                          LPWSTR* text, PULONG length) {
  if (text == nullptr) return Failure(ERROR_INVALID_PARAMETER);
  *text = nullptr;
  if (requestedRevision != SDDL_REVISION_1) return Failure(ERROR_UNKNOWN_REVISION);
  SecurityDescriptor descriptor;
  DWORD error = ERROR_SUCCESS;
  if (!ReadDescriptor(securityDescriptor, descriptor, error)) return Failure(error);
  const std::wstring sddl = tessarwick::portable::FormatSddl(descriptor, information);
  LPWSTR buffer = CopyToLocal(sddl);
  if (buffer == nullptr) return Failure(ERROR_NOT_ENOUGH_MEMORY);
  *text = buffer;
  // The platform counts the terminator in the length it reports.
  if (length != nullptr) *length = static_cast<ULONG>(sddl.size() + 1);
  return TRUE;
}

BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR text, DWORD revision,
                                                          PSECURITY_DESCRIPTOR* securityDescriptor, PULONG size) {
  if (securityDescriptor == nullptr) return Failure(ERROR_INVALID_PARAMETER);
  *securityDescriptor = nullptr;
  if (text == nullptr) return Failure(ERROR_INVALID_PARAMETER);
  if (revision != SDDL_REVISION_1) return Failure(ERROR_UNKNOWN_REVISION);
  SecurityDescriptor descriptor;
  DWORD error = ERROR_SUCCESS;
  std::size_t errorOffset = 0;
  if (!tessarwick::portable::ParseSddl(text, descriptor, error, errorOffset)) return Failure(error);
  const std::vector<BYTE> bytes = tessarwick::portable::WriteSelfRelative(descriptor);
  void* buffer = CopyToLocal(bytes);
  if (buffer == nullptr) return Failure(ERROR_NOT_ENOUGH_MEMORY);
  *securityDescriptor = buffer;
  if (size != nullptr) *size = static_cast<ULONG>(bytes.size());
  return TRUE;
}

BOOL ConvertSidToStringSidW(PSID sid, LPWSTR* text) {
  if (text == nullptr) return Failure(ERROR_INVALID_PARAMETER);
  *text = nullptr;
  Sid parsed;
  if (!ReadSid(sid, parsed)) return Failure(ERROR_INVALID_SID);
  LPWSTR buffer = CopyToLocal(tessarwick::portable::FormatSidText(parsed));
  if (buffer == nullptr) return Failure(ERROR_NOT_ENOUGH_MEMORY);
  *text = buffer;
  return TRUE;
}

BOOL ConvertStringSidToSidW(LPCWSTR text, PSID* sid) {
  if (sid == nullptr) return Failure(ERROR_INVALID_PARAMETER);
  *sid = nullptr;
  if (text == nullptr) return Failure(ERROR_INVALID_PARAMETER);
  Sid parsed;
  if (!tessarwick::portable::ParseSidText(text, parsed)) return Failure(ERROR_INVALID_SID);
  void* buffer = CopyToLocal(tessarwick::portable::WriteSid(parsed));
  if (buffer == nullptr) return Failure(ERROR_NOT_ENOUGH_MEMORY);
  *sid = buffer;
  return TRUE;
}

BOOL IsValidSid(PSID sid) {
  Sid parsed;
  return ReadSid(sid, parsed) ? TRUE : FALSE;
}

DWORD GetLengthSid(PSID sid) { return sid == nullptr ? 0 : static_cast<DWORD>(SidExtent(sid)); }

BOOL EqualSid(PSID first, PSID second) {
  Sid left;
  Sid right;
  if (!ReadSid(first, left) || !ReadSid(second, right)) return Failure(ERROR_INVALID_SID);
  SetLastError(ERROR_SUCCESS);
  return left == right ? TRUE : FALSE;
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR securityDescriptor) {
  SecurityDescriptor descriptor;
  DWORD error = ERROR_SUCCESS;
  if (!ReadDescriptor(securityDescriptor, descriptor, error)) return Failure(error);
  return TRUE;
}

DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR securityDescriptor) {
  SecurityDescriptor descriptor;
  DWORD error = ERROR_SUCCESS;
  if (!ReadDescriptor(securityDescriptor, descriptor, error)) return 0;
  // The extent is the end of the furthest part, which is where the platform's writer stops too.
  const auto* bytes = static_cast<const BYTE*>(securityDescriptor);
  auto dword = [&](std::size_t at) {
    return static_cast<std::size_t>(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16)) |
           (static_cast<std::size_t>(bytes[at + 3]) << 24);
  };
  std::size_t end = 20;
  if (descriptor.owner) end = std::max(end, dword(4) + 8 + 4 * descriptor.owner->subAuthorities.size());
  if (descriptor.group) end = std::max(end, dword(8) + 8 + 4 * descriptor.group->subAuthorities.size());
  if (descriptor.sacl) end = std::max(end, dword(12) + (bytes[dword(12) + 2] | (bytes[dword(12) + 3] << 8)));
  if (descriptor.dacl) end = std::max(end, dword(16) + (bytes[dword(16) + 2] | (bytes[dword(16) + 3] << 8)));
  return static_cast<DWORD>(end);
}
