// The stand-in's security descriptor codecs: SID text, SDDL text and the binary self-relative
// layout, all meeting in the model of Descriptor.h. The SDDL letters and aliases are tables read
// by both directions, so reading and writing cannot drift apart.
#include "platform/portable/security/Descriptor.h"

#include <algorithm>
#include <array>
#include <limits>
#include <span>

#include "platform/portable/Sddl.h"

namespace tessarwick::portable {
namespace {

// One SDDL code and the bits it stands for.
struct Code {
  std::wstring_view code;
  std::uint32_t bits;
};

constexpr Code kAceTypes[] = {
    {L"A", ACCESS_ALLOWED_ACE_TYPE},
    {L"D", ACCESS_DENIED_ACE_TYPE},
    {L"AU", SYSTEM_AUDIT_ACE_TYPE},
    {L"AL", SYSTEM_ALARM_ACE_TYPE},
};

// In ascending bit order: the platform writes the flags in that order ("OICIID").
constexpr Code kAceFlags[] = {
    {L"OI", OBJECT_INHERIT_ACE},     {L"CI", CONTAINER_INHERIT_ACE}, {L"NP", NO_PROPAGATE_INHERIT_ACE},
    {L"IO", INHERIT_ONLY_ACE},       {L"ID", INHERITED_ACE},         {L"SA", SUCCESSFUL_ACCESS_ACE_FLAG},
    {L"FA", FAILED_ACCESS_ACE_FLAG},
};

// One letter pair per right, in ascending bit order, which is the order they are written in.
constexpr Code kRightLetters[] = {
    {L"CC", 0x00000001}, {L"DC", 0x00000002}, {L"LC", 0x00000004}, {L"SW", 0x00000008}, {L"RP", 0x00000010},
    {L"WP", 0x00000020}, {L"DT", 0x00000040}, {L"LO", 0x00000080}, {L"CR", 0x00000100}, {L"SD", 0x00010000},
    {L"RC", 0x00020000}, {L"WD", 0x00040000}, {L"WO", 0x00080000}, {L"GA", 0x10000000}, {L"GX", 0x20000000},
    {L"GW", 0x40000000}, {L"GR", 0x80000000},
};

// Names of whole file and registry masks. Written only when the mask equals one exactly; KR and
// KX are the same mask, and the first name wins, as on the platform.
constexpr Code kWholeMasks[] = {
    {L"FA", 0x001F01FF}, {L"FR", 0x00120089}, {L"FW", 0x00120116}, {L"FX", 0x001200A0},
    {L"KA", 0x000F003F}, {L"KR", 0x00020019}, {L"KW", 0x00020006}, {L"KX", 0x00020019},
};

// ACL flags of the D: and S: parts, in the order the platform writes them ("PARAI").
struct AclFlag {
  std::wstring_view code;
  std::uint16_t daclBit;
  std::uint16_t saclBit;
};
constexpr AclFlag kAclFlags[] = {
    {L"P", SE_DACL_PROTECTED, SE_SACL_PROTECTED},
    {L"AR", SE_DACL_AUTO_INHERIT_REQ, SE_SACL_AUTO_INHERIT_REQ},
    {L"AI", SE_DACL_AUTO_INHERITED, SE_SACL_AUTO_INHERITED},
};
// A DACL that is present but null grants everyone everything; SDDL names it with this word.
constexpr std::wstring_view kNullAcl = L"NO_ACCESS_CONTROL";

// Well-known SIDs with their two-letter aliases. A machine-relative entry is the local
// computer's SID followed by the relative ID; the stand-in's computer is not in a domain, so the
// domain aliases (DA, DU, ...) resolve against it too, as a stand-alone server's do.
struct Alias {
  std::wstring_view alias;
  std::uint64_t authority;
  std::array<std::uint32_t, 2> subAuthorities;
  std::uint8_t count;
  bool machineRelative;
};
constexpr Alias kAliases[] = {
    {L"WD", 1, {0}, 1, false},       {L"CO", 3, {0}, 1, false},       {L"CG", 3, {1}, 1, false},
    {L"OW", 3, {4}, 1, false},       {L"NU", 5, {2}, 1, false},       {L"IU", 5, {4}, 1, false},
    {L"SU", 5, {6}, 1, false},       {L"AN", 5, {7}, 1, false},       {L"ED", 5, {9}, 1, false},
    {L"PS", 5, {10}, 1, false},      {L"AU", 5, {11}, 1, false},      {L"RC", 5, {12}, 1, false},
    {L"SY", 5, {18}, 1, false},      {L"LS", 5, {19}, 1, false},      {L"NS", 5, {20}, 1, false},
    {L"WR", 5, {33}, 1, false},      {L"BA", 5, {32, 544}, 2, false}, {L"BU", 5, {32, 545}, 2, false},
    {L"BG", 5, {32, 546}, 2, false}, {L"PU", 5, {32, 547}, 2, false}, {L"AO", 5, {32, 548}, 2, false},
    {L"SO", 5, {32, 549}, 2, false}, {L"PO", 5, {32, 550}, 2, false}, {L"BO", 5, {32, 551}, 2, false},
    {L"RE", 5, {32, 552}, 2, false}, {L"RU", 5, {32, 554}, 2, false}, {L"RD", 5, {32, 555}, 2, false},
    {L"NO", 5, {32, 556}, 2, false}, {L"MU", 5, {32, 558}, 2, false}, {L"LU", 5, {32, 559}, 2, false},
    {L"IS", 5, {32, 568}, 2, false}, {L"CY", 5, {32, 569}, 2, false}, {L"ER", 5, {32, 573}, 2, false},
    {L"CD", 5, {32, 574}, 2, false}, {L"RA", 5, {32, 575}, 2, false}, {L"ES", 5, {32, 576}, 2, false},
    {L"MS", 5, {32, 577}, 2, false}, {L"HA", 5, {32, 578}, 2, false}, {L"AA", 5, {32, 579}, 2, false},
    {L"RM", 5, {32, 580}, 2, false}, {L"AC", 15, {2, 1}, 2, false},   {L"LW", 16, {4096}, 1, false},
    {L"ME", 16, {8192}, 1, false},   {L"MP", 16, {8448}, 1, false},   {L"HI", 16, {12288}, 1, false},
    {L"SI", 16, {16384}, 1, false},  {L"LA", 5, {500}, 1, true},      {L"LG", 5, {501}, 1, true},
    {L"DA", 5, {512}, 1, true},      {L"DU", 5, {513}, 1, true},      {L"DG", 5, {514}, 1, true},
    {L"DC", 5, {515}, 1, true},      {L"DD", 5, {516}, 1, true},      {L"CA", 5, {517}, 1, true},
    {L"SA", 5, {518}, 1, true},      {L"EA", 5, {519}, 1, true},      {L"PA", 5, {520}, 1, true},
    {L"CN", 5, {522}, 1, true},      {L"AP", 5, {525}, 1, true},      {L"KA", 5, {526}, 1, true},
    {L"EK", 5, {527}, 1, true},      {L"RS", 5, {553}, 1, true},
};

Sid AliasSid(const Alias& alias) {
  Sid sid;
  if (alias.machineRelative) {
    sid = LocalMachineSid();
  } else {
    sid.authority = alias.authority;
  }
  sid.subAuthorities.insert(sid.subAuthorities.end(), alias.subAuthorities.begin(),
                            alias.subAuthorities.begin() + alias.count);
  return sid;
}

wchar_t Upper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool EqualsIgnoreCase(std::wstring_view left, std::wstring_view right) {
  return left.size() == right.size() &&
         std::equal(left.begin(), left.end(), right.begin(), [](wchar_t a, wchar_t b) { return Upper(a) == Upper(b); });
}

const Code* FindCode(std::span<const Code> table, std::wstring_view code) {
  for (const Code& entry : table) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

// Unsigned decimal or 0x-hexadecimal number filling the whole text, refusing overflow past `limit`.
bool ParseNumber(std::wstring_view text, std::uint64_t limit, std::uint64_t& out) {
  unsigned base = 10;
  if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t value = 0;
  for (wchar_t c : text) {
    unsigned digit;
    if (c >= L'0' && c <= L'9') {
      digit = static_cast<unsigned>(c - L'0');
    } else if (base == 16 && Upper(c) >= L'A' && Upper(c) <= L'F') {
      digit = static_cast<unsigned>(Upper(c) - L'A' + 10);
    } else {
      return false;
    }
    if (value > (limit - digit) / base) return false;
    value = value * base + digit;
  }
  out = value;
  return true;
}

void AppendHex(std::wstring& text, std::uint64_t value, bool upper, int minimumDigits) {
  const wchar_t* digits = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
  wchar_t buffer[16];
  int count = 0;
  do {
    buffer[count++] = digits[value & 0xF];
    value >>= 4;
  } while (value != 0 || count < minimumDigits);
  text += L"0x";
  while (count > 0) text += buffer[--count];
}

constexpr std::uint64_t kMaxAuthority = 0xFFFFFFFFFFFFull;

}  // namespace

Sid LocalMachineSid() { return Sid{1, 5, {21, 3623811015u, 3361044348u, 30300820u}}; }

// ---------------------------------------------------------------------------------------------
// SID text

bool ParseSidText(std::wstring_view text, Sid& out) {
  if (text.size() == 2) {
    for (const Alias& alias : kAliases) {
      // The platform reads aliases in either case ("wd" is Everyone) but writes them upper-case.
      if (EqualsIgnoreCase(alias.alias, text)) {
        out = AliasSid(alias);
        return true;
      }
    }
    return false;
  }
  if (text.size() < 2 || Upper(text[0]) != L'S' || text[1] != L'-') return false;
  text.remove_prefix(2);
  Sid sid;
  std::size_t field = 0;
  while (true) {
    std::size_t dash = text.find(L'-');
    std::wstring_view part = text.substr(0, dash);
    std::uint64_t value = 0;
    if (field == 0) {
      if (!ParseNumber(part, 0xFF, value) || value != SID_REVISION) return false;
      sid.revision = static_cast<std::uint8_t>(value);
    } else if (field == 1) {
      if (!ParseNumber(part, kMaxAuthority, value)) return false;
      sid.authority = value;
    } else {
      // Sub-authorities are decimal only; the hexadecimal form belongs to the authority.
      if (part.size() > 1 && part[0] == L'0' && Upper(part[1]) == L'X') return false;
      if (sid.subAuthorities.size() == SID_MAX_SUB_AUTHORITIES) return false;
      if (!ParseNumber(part, 0xFFFFFFFFu, value)) return false;
      sid.subAuthorities.push_back(static_cast<std::uint32_t>(value));
    }
    ++field;
    if (dash == std::wstring_view::npos) break;
    text.remove_prefix(dash + 1);
  }
  if (field < 2) return false;
  out = std::move(sid);
  return true;
}

std::wstring FormatSidText(const Sid& sid) {
  std::wstring text = L"S-" + std::to_wstring(sid.revision) + L"-";
  // Authorities that do not fit 32 bits are written as 12 hexadecimal digits, as the platform does.
  if (sid.authority > 0xFFFFFFFFull) {
    AppendHex(text, sid.authority, true, 12);
  } else {
    text += std::to_wstring(sid.authority);
  }
  for (std::uint32_t sub : sid.subAuthorities) {
    text += L'-';
    text += std::to_wstring(sub);
  }
  return text;
}

std::wstring FormatSidForSddl(const Sid& sid) {
  for (const Alias& alias : kAliases) {
    if (AliasSid(alias) == sid) return std::wstring(alias.alias);
  }
  return FormatSidText(sid);
}

// ---------------------------------------------------------------------------------------------
// Binary SID

std::vector<BYTE> WriteSid(const Sid& sid) {
  std::vector<BYTE> bytes;
  bytes.reserve(8 + 4 * sid.subAuthorities.size());
  bytes.push_back(sid.revision);
  bytes.push_back(static_cast<BYTE>(sid.subAuthorities.size()));
  for (int shift = 40; shift >= 0; shift -= 8) bytes.push_back(static_cast<BYTE>(sid.authority >> shift));
  for (std::uint32_t sub : sid.subAuthorities) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<BYTE>(sub >> shift));
  }
  return bytes;
}

namespace {
std::uint16_t ReadWord(const BYTE* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t ReadDword(const BYTE* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void PutWord(std::vector<BYTE>& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<BYTE>(value);
  bytes[at + 1] = static_cast<BYTE>(value >> 8);
}
void PutDword(std::vector<BYTE>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
}
}  // namespace

bool ParseSid(const BYTE* bytes, std::size_t length, Sid& out, std::size_t& used) {
  if (bytes == nullptr || length < 8) return false;
  std::size_t count = bytes[1];
  if (bytes[0] != SID_REVISION || count > SID_MAX_SUB_AUTHORITIES) return false;
  std::size_t size = 8 + 4 * count;
  if (length < size) return false;
  Sid sid;
  sid.revision = bytes[0];
  for (int i = 2; i < 8; ++i) sid.authority = (sid.authority << 8) | bytes[i];
  sid.subAuthorities.reserve(count);
  for (std::size_t i = 0; i < count; ++i) sid.subAuthorities.push_back(ReadDword(bytes + 8 + 4 * i));
  out = std::move(sid);
  used = size;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Binary self-relative descriptor

namespace {

constexpr std::size_t kHeaderSize = 20;  // revision, Sbz1, control, four offsets
constexpr std::size_t kAclHeaderSize = 8;
constexpr std::size_t kAceHeaderSize = 8;  // type, flags, size, mask

struct Region {
  std::size_t begin;
  std::size_t end;
};

bool ParseAcl(const BYTE* bytes, std::size_t length, Acl& out, std::size_t& used, DWORD& error) {
  error = ERROR_INVALID_ACL;
  if (length < kAclHeaderSize) return false;
  const BYTE revision = bytes[0];
  const std::size_t aclSize = ReadWord(bytes + 2);
  const std::size_t aceCount = ReadWord(bytes + 4);
  // ACL_REVISION up to ACL_REVISION_DS, as the platform's validity check accepts.
  if (revision < ACL_REVISION || revision > ACL_REVISION_DS) return false;
  if (aclSize < kAclHeaderSize || aclSize > length) return false;
  Acl acl;
  acl.revision = revision;
  std::size_t offset = kAclHeaderSize;
  for (std::size_t index = 0; index < aceCount; ++index) {
    if (aclSize - offset < kAceHeaderSize) return false;
    const BYTE* ace = bytes + offset;
    const std::size_t aceSize = ReadWord(ace + 2);
    if (aceSize < kAceHeaderSize || aceSize > aclSize - offset) return false;
    Ace entry;
    entry.type = ace[0];
    entry.flags = ace[1];
    // Object, callback and label entries have layouts the namespace service never stores.
    if (entry.type > SYSTEM_ALARM_ACE_TYPE) return false;
    entry.mask = ReadDword(ace + 4);
    std::size_t sidSize = 0;
    if (!ParseSid(ace + kAceHeaderSize, aceSize - kAceHeaderSize, entry.sid, sidSize)) return false;
    acl.entries.push_back(std::move(entry));
    offset += aceSize;
  }
  out = std::move(acl);
  used = aclSize;
  error = ERROR_SUCCESS;
  return true;
}

void WriteAcl(std::vector<BYTE>& bytes, const Acl& acl) {
  const std::size_t start = bytes.size();
  bytes.resize(start + kAclHeaderSize);
  bytes[start] = acl.revision;
  for (const Ace& ace : acl.entries) {
    const std::size_t aceStart = bytes.size();
    std::vector<BYTE> sid = WriteSid(ace.sid);
    bytes.resize(aceStart + kAceHeaderSize);
    bytes[aceStart] = ace.type;
    bytes[aceStart + 1] = ace.flags;
    PutWord(bytes, aceStart + 2, static_cast<std::uint16_t>(kAceHeaderSize + sid.size()));
    PutDword(bytes, aceStart + 4, ace.mask);
    bytes.insert(bytes.end(), sid.begin(), sid.end());
  }
  PutWord(bytes, start + 2, static_cast<std::uint16_t>(bytes.size() - start));
  PutWord(bytes, start + 4, static_cast<std::uint16_t>(acl.entries.size()));
}

}  // namespace

bool FitsAclSize(const Acl& acl) {
  std::size_t size = kAclHeaderSize;
  for (const Ace& ace : acl.entries) size += kAceHeaderSize + 8 + 4 * ace.sid.subAuthorities.size();
  return size <= 0xFFFF;
}

bool ParseSelfRelative(const BYTE* bytes, std::size_t length, SecurityDescriptor& out, DWORD& error) {
  error = ERROR_INVALID_SECURITY_DESCR;
  if (bytes == nullptr || length < kHeaderSize) return false;
  if (bytes[0] != 1) {
    error = ERROR_UNKNOWN_REVISION;
    return false;
  }
  SecurityDescriptor descriptor;
  descriptor.control = ReadWord(bytes + 2);
  // The absolute form holds pointers, which mean nothing once the bytes left their process.
  if (!(descriptor.control & SE_SELF_RELATIVE)) return false;
  const std::uint32_t ownerOffset = ReadDword(bytes + 4);
  const std::uint32_t groupOffset = ReadDword(bytes + 8);
  const std::uint32_t saclOffset = ReadDword(bytes + 12);
  const std::uint32_t daclOffset = ReadDword(bytes + 16);

  std::vector<Region> regions;
  auto inside = [&](std::uint32_t offset) { return offset >= kHeaderSize && offset < length; };
  auto readSid = [&](std::uint32_t offset, std::optional<Sid>& sid) {
    if (offset == 0) return true;
    std::size_t used = 0;
    Sid value;
    if (!inside(offset)) {
      error = ERROR_INVALID_SECURITY_DESCR;
      return false;
    }
    if (!ParseSid(bytes + offset, length - offset, value, used)) {
      error = ERROR_INVALID_SID;
      return false;
    }
    sid = std::move(value);
    regions.push_back({offset, offset + used});
    return true;
  };
  // An ACL counts only when its present bit is set; present with offset 0 is a null ACL.
  auto readAcl = [&](std::uint32_t offset, std::uint16_t presentBit, std::optional<Acl>& acl) {
    if (!(descriptor.control & presentBit) || offset == 0) return true;
    if (!inside(offset)) {
      error = ERROR_INVALID_SECURITY_DESCR;
      return false;
    }
    std::size_t used = 0;
    Acl value;
    if (!ParseAcl(bytes + offset, length - offset, value, used, error)) return false;
    acl = std::move(value);
    regions.push_back({offset, offset + used});
    return true;
  };
  if (!readSid(ownerOffset, descriptor.owner) || !readSid(groupOffset, descriptor.group) ||
      !readAcl(saclOffset, SE_SACL_PRESENT, descriptor.sacl) ||
      !readAcl(daclOffset, SE_DACL_PRESENT, descriptor.dacl)) {
    return false;
  }
  std::sort(regions.begin(), regions.end(), [](const Region& a, const Region& b) { return a.begin < b.begin; });
  for (std::size_t i = 1; i < regions.size(); ++i) {
    if (regions[i].begin < regions[i - 1].end) {
      error = ERROR_INVALID_SECURITY_DESCR;
      return false;
    }
  }
  out = std::move(descriptor);
  error = ERROR_SUCCESS;
  return true;
}

std::vector<BYTE> WriteSelfRelative(const SecurityDescriptor& descriptor) {
  // Owner, group, DACL, SACL: the order the platform's SDDL conversion lays out canonical text,
  // so a descriptor from either build has the same bytes.
  std::vector<BYTE> bytes(kHeaderSize, 0);
  std::uint16_t control = descriptor.control | SE_SELF_RELATIVE;
  if (descriptor.dacl) control |= SE_DACL_PRESENT;
  if (descriptor.sacl) control |= SE_SACL_PRESENT;
  bytes[0] = 1;
  PutWord(bytes, 2, control);
  if (descriptor.owner) {
    PutDword(bytes, 4, static_cast<std::uint32_t>(bytes.size()));
    std::vector<BYTE> sid = WriteSid(*descriptor.owner);
    bytes.insert(bytes.end(), sid.begin(), sid.end());
  }
  if (descriptor.group) {
    PutDword(bytes, 8, static_cast<std::uint32_t>(bytes.size()));
    std::vector<BYTE> sid = WriteSid(*descriptor.group);
    bytes.insert(bytes.end(), sid.begin(), sid.end());
  }
  if (descriptor.dacl) {
    PutDword(bytes, 16, static_cast<std::uint32_t>(bytes.size()));
    WriteAcl(bytes, *descriptor.dacl);
  }
  if (descriptor.sacl) {
    PutDword(bytes, 12, static_cast<std::uint32_t>(bytes.size()));
    WriteAcl(bytes, *descriptor.sacl);
  }
  return bytes;
}

// ---------------------------------------------------------------------------------------------
// SDDL text

namespace {

class SddlReader {
 public:
  explicit SddlReader(std::wstring_view text) : m_text(text) {}

  bool Read(SecurityDescriptor& out, DWORD& error, std::size_t& errorOffset) {
    SecurityDescriptor descriptor;
    descriptor.control = SE_SELF_RELATIVE;
    while (true) {
      SkipSpaces();
      if (AtEnd()) break;
      if (m_pos + 1 >= m_text.size() || m_text[m_pos + 1] != L':')
        return Fail(ERROR_INVALID_PARAMETER, error, errorOffset);
      const wchar_t part = m_text[m_pos];
      m_pos += 2;
      // A part given twice replaces the earlier one, as on the platform.
      bool ok = false;
      switch (part) {
        case L'O':
          ok = ReadPartSid(descriptor.owner);
          break;
        case L'G':
          ok = ReadPartSid(descriptor.group);
          break;
        case L'D':
          ok = ReadAclPart(descriptor, descriptor.dacl, SE_DACL_PRESENT, 0);
          break;
        case L'S':
          ok = ReadAclPart(descriptor, descriptor.sacl, SE_SACL_PRESENT, 1);
          break;
        default:
          m_pos -= 2;
          m_error = ERROR_INVALID_PARAMETER;
          break;
      }
      if (!ok) return Fail(m_error, error, errorOffset);
    }
    out = std::move(descriptor);
    error = ERROR_SUCCESS;
    errorOffset = 0;
    return true;
  }

 private:
  bool AtEnd() const { return m_pos >= m_text.size(); }
  void SkipSpaces() {
    while (!AtEnd() &&
           (m_text[m_pos] == L' ' || m_text[m_pos] == L'\t' || m_text[m_pos] == L'\r' || m_text[m_pos] == L'\n'))
      ++m_pos;
  }
  bool Fail(DWORD code, DWORD& error, std::size_t& errorOffset) const {
    error = code;
    errorOffset = m_pos;
    return false;
  }
  bool Error(DWORD code) {
    m_error = code;
    return false;
  }

  // The owner or group SID runs up to the next part letter, the one before the next ':'.
  bool ReadPartSid(std::optional<Sid>& sid) {
    std::size_t colon = m_text.find(L':', m_pos);
    std::size_t end = colon == std::wstring_view::npos ? m_text.size() : colon - 1;
    if (end < m_pos) return Error(ERROR_INVALID_SID);
    std::wstring_view value = m_text.substr(m_pos, end - m_pos);
    while (!value.empty() &&
           (value.back() == L' ' || value.back() == L'\t' || value.back() == L'\r' || value.back() == L'\n'))
      value.remove_suffix(1);
    Sid parsed;
    if (!ParseSidText(value, parsed)) return Error(ERROR_INVALID_SID);
    sid = std::move(parsed);
    m_pos = end;
    return true;
  }

  bool ReadAclPart(SecurityDescriptor& descriptor, std::optional<Acl>& acl, std::uint16_t presentBit, int which) {
    std::uint16_t flags = 0;
    bool nullAcl = false;
    while (true) {
      SkipSpaces();
      if (m_text.substr(m_pos).starts_with(kNullAcl)) {
        nullAcl = true;
        m_pos += kNullAcl.size();
        continue;
      }
      bool matched = false;
      for (const AclFlag& flag : kAclFlags) {
        if (m_text.substr(m_pos).starts_with(flag.code)) {
          flags |= which == 0 ? flag.daclBit : flag.saclBit;
          m_pos += flag.code.size();
          matched = true;
          break;
        }
      }
      if (!matched) break;
    }
    Acl parsed;
    while (!AtEnd() && m_text[m_pos] == L'(') {
      Ace ace;
      if (!ReadAce(ace)) return false;
      parsed.entries.push_back(std::move(ace));
      SkipSpaces();
    }
    // A null ACL has no entries to hold, and an ACL's size is a 16-bit field of the layout.
    if (nullAcl && !parsed.entries.empty()) return Error(ERROR_INVALID_ACL);
    if (!FitsAclSize(parsed)) return Error(ERROR_INVALID_ACL);
    const std::uint16_t partBits =
        which == 0 ? (SE_DACL_PRESENT | SE_DACL_PROTECTED | SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED)
                   : (SE_SACL_PRESENT | SE_SACL_PROTECTED | SE_SACL_AUTO_INHERIT_REQ | SE_SACL_AUTO_INHERITED);
    descriptor.control = static_cast<std::uint16_t>((descriptor.control & ~partBits) | flags | presentBit);
    if (nullAcl) {
      acl.reset();
    } else {
      acl = std::move(parsed);
    }
    return true;
  }

  // One field of an ACE, up to (not including) the next ';'.
  bool ReadField(std::wstring_view& field) {
    std::size_t semicolon = m_text.find(L';', m_pos);
    if (semicolon == std::wstring_view::npos) return Error(ERROR_INVALID_ACL);
    field = m_text.substr(m_pos, semicolon - m_pos);
    return true;
  }
  void SkipField(std::wstring_view field) { m_pos += field.size() + 1; }

  bool ReadAce(Ace& ace) {
    ++m_pos;  // '('
    std::wstring_view field;
    if (!ReadField(field)) return false;
    // Object and conditional entry types (OA, XA, ...) are not accepted by the namespace service.
    const Code* type = FindCode(kAceTypes, field);
    if (type == nullptr) return Error(ERROR_INVALID_ACL);
    ace.type = static_cast<std::uint8_t>(type->bits);
    SkipField(field);

    if (!ReadField(field)) return false;
    for (std::size_t i = 0; i < field.size(); i += 2) {
      const Code* flag = i + 2 <= field.size() ? FindCode(kAceFlags, field.substr(i, 2)) : nullptr;
      if (flag == nullptr) {
        m_pos += i;
        return Error(ERROR_INVALID_ACL);
      }
      ace.flags |= static_cast<std::uint8_t>(flag->bits);
    }
    SkipField(field);

    if (!ReadField(field)) return false;
    if (!ReadRights(field, ace.mask)) return false;
    SkipField(field);

    for (int guid = 0; guid < 2; ++guid) {
      if (!ReadField(field)) return false;
      if (!field.empty()) return Error(ERROR_INVALID_ACL);
      SkipField(field);
    }

    // The SID ends the entry; a further ';' would start a resource attribute or condition.
    std::size_t close = m_text.find_first_of(L";)", m_pos);
    if (close == std::wstring_view::npos || m_text[close] != L')') {
      if (close != std::wstring_view::npos) m_pos = close;
      return Error(ERROR_INVALID_ACL);
    }
    // A bad SID inside an entry makes the ACL invalid, as the platform reports it.
    if (!ParseSidText(m_text.substr(m_pos, close - m_pos), ace.sid)) return Error(ERROR_INVALID_ACL);
    m_pos = close + 1;
    return true;
  }

  bool ReadRights(std::wstring_view field, std::uint32_t& mask) {
    if (!field.empty() && field[0] >= L'0' && field[0] <= L'9') {
      std::uint64_t value = 0;
      if (!ParseNumber(field, 0xFFFFFFFFu, value)) return Error(ERROR_INVALID_ACL);
      mask = static_cast<std::uint32_t>(value);
      return true;
    }
    // Letters may repeat and combine ("LCSWRPSWRP"); every pair adds its bits.
    for (std::size_t i = 0; i < field.size(); i += 2) {
      std::wstring_view pair = field.substr(i, 2);
      const Code* code = pair.size() == 2 ? FindCode(kWholeMasks, pair) : nullptr;
      if (code == nullptr && pair.size() == 2) code = FindCode(kRightLetters, pair);
      if (code == nullptr) {
        m_pos += i;
        return Error(ERROR_INVALID_ACL);
      }
      mask |= code->bits;
    }
    return true;
  }

  std::wstring_view m_text;
  std::size_t m_pos = 0;
  DWORD m_error = ERROR_INVALID_PARAMETER;
};

void AppendRights(std::wstring& text, std::uint32_t mask) {
  for (const Code& whole : kWholeMasks) {
    if (whole.bits == mask) {
      text += whole.code;
      return;
    }
  }
  std::uint32_t covered = 0;
  for (const Code& letter : kRightLetters) covered |= letter.bits & mask;
  if (covered != mask) {
    AppendHex(text, mask, false, 1);
    return;
  }
  for (const Code& letter : kRightLetters) {
    if (mask & letter.bits) text += letter.code;
  }
}

void AppendAcl(std::wstring& text, wchar_t part, std::uint16_t control, const std::optional<Acl>& acl, int which) {
  text += part;
  text += L':';
  for (const AclFlag& flag : kAclFlags) {
    if (control & (which == 0 ? flag.daclBit : flag.saclBit)) text += flag.code;
  }
  if (!acl) {
    text += kNullAcl;
    return;
  }
  for (const Ace& ace : acl->entries) {
    text += L'(';
    bool typed = false;
    for (const Code& type : kAceTypes) {
      if (type.bits == ace.type) {
        text += type.code;
        typed = true;
      }
    }
    // Only the four entry types are ever in the model; any other is written as its number.
    if (!typed) AppendHex(text, ace.type, false, 1);
    text += L';';
    for (const Code& flag : kAceFlags) {
      if (ace.flags & flag.bits) text += flag.code;
    }
    text += L';';
    AppendRights(text, ace.mask);
    text += L";;;";
    text += FormatSidForSddl(ace.sid);
    text += L')';
  }
}

}  // namespace

bool ParseSddl(std::wstring_view text, SecurityDescriptor& out, DWORD& error, std::size_t& errorOffset) {
  return SddlReader(text).Read(out, error, errorOffset);
}

std::wstring FormatSddl(const SecurityDescriptor& descriptor, std::uint32_t information) {
  std::wstring text;
  if ((information & OWNER_SECURITY_INFORMATION) && descriptor.owner) {
    text += L"O:" + FormatSidForSddl(*descriptor.owner);
  }
  if ((information & GROUP_SECURITY_INFORMATION) && descriptor.group) {
    text += L"G:" + FormatSidForSddl(*descriptor.group);
  }
  if ((information & DACL_SECURITY_INFORMATION) && (descriptor.dacl || (descriptor.control & SE_DACL_PRESENT))) {
    AppendAcl(text, L'D', descriptor.control, descriptor.dacl, 0);
  }
  if ((information & SACL_SECURITY_INFORMATION) && (descriptor.sacl || (descriptor.control & SE_SACL_PRESENT))) {
    AppendAcl(text, L'S', descriptor.control, descriptor.sacl, 1);
  }
  return text;
}

}  // namespace tessarwick::portable
