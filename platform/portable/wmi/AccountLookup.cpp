// The stand-in's local security authority: account names to SIDs for the well-known accounts, the
// simulated local computer's accounts and the accounts its host file defines; and the local
// computer's name.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/portable/wmi/HostStore.h"

namespace tessarwick::wmihost {

namespace {

constexpr NTSTATUS kStatusSuccess = 0;
constexpr NTSTATUS kStatusSomeNotMapped = 0x00000107;
constexpr NTSTATUS kStatusInvalidHandle = static_cast<NTSTATUS>(0xC0000008u);
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000Du);
constexpr NTSTATUS kStatusNoMemory = static_cast<NTSTATUS>(0xC0000017u);
constexpr NTSTATUS kStatusAccessDenied = static_cast<NTSTATUS>(0xC0000022u);
constexpr NTSTATUS kStatusNoneMapped = static_cast<NTSTATUS>(0xC0000073u);
constexpr NTSTATUS kStatusInternalDbCorruption = static_cast<NTSTATUS>(0xC00000E4u);
constexpr NTSTATUS kRpcServerUnavailable = static_cast<NTSTATUS>(0xC0020017u);

constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorBufferOverflow = 111;
constexpr DWORD kErrorSomeNotMapped = 1301;
constexpr DWORD kErrorInternalDbCorruption = 1358;
constexpr DWORD kErrorMessageNotFound = 317;  // ERROR_MR_MID_NOT_FOUND: no Windows error for the status

struct StatusMapping {
  NTSTATUS status;
  ULONG error;
};
constexpr StatusMapping kStatusMappings[] = {
    {kStatusSuccess, ERROR_SUCCESS},
    {kStatusSomeNotMapped, kErrorSomeNotMapped},
    {kStatusInvalidHandle, kErrorInvalidHandle},
    {kStatusInvalidParameter, ERROR_INVALID_PARAMETER},
    {kStatusNoMemory, ERROR_NOT_ENOUGH_MEMORY},
    {kStatusAccessDenied, ERROR_ACCESS_DENIED},
    {kStatusNoneMapped, ERROR_NONE_MAPPED},
    {kStatusInternalDbCorruption, kErrorInternalDbCorruption},
    {kRpcServerUnavailable, RPC_S_SERVER_UNAVAILABLE},
};

Sid MakeSid(std::uint64_t authority, std::vector<std::uint32_t> subAuthorities) {
  Sid sid;
  sid.authority = authority;
  sid.subAuthorities = std::move(subAuthorities);
  return sid;
}

// The well-known accounts, each found by its name with or without its domain.
struct WellKnownAccount {
  const wchar_t* domain;
  const wchar_t* name;
  std::uint64_t authority;
  std::vector<std::uint32_t> subAuthorities;
  SID_NAME_USE use;
};
const WellKnownAccount kWellKnownAccounts[] = {
    {L"", L"Everyone", 1, {0}, SidTypeWellKnownGroup},
    {L"NT AUTHORITY", L"SYSTEM", 5, {18}, SidTypeWellKnownGroup},
    {L"NT AUTHORITY", L"LOCAL SERVICE", 5, {19}, SidTypeWellKnownGroup},
    {L"NT AUTHORITY", L"NETWORK SERVICE", 5, {20}, SidTypeWellKnownGroup},
    {L"NT AUTHORITY", L"Authenticated Users", 5, {11}, SidTypeWellKnownGroup},
    {L"NT AUTHORITY", L"NETWORK", 5, {2}, SidTypeWellKnownGroup},
    {L"NT AUTHORITY", L"INTERACTIVE", 5, {4}, SidTypeWellKnownGroup},
    {L"NT AUTHORITY", L"SERVICE", 5, {6}, SidTypeWellKnownGroup},
    {L"NT AUTHORITY", L"ANONYMOUS LOGON", 5, {7}, SidTypeWellKnownGroup},
    {L"BUILTIN", L"Administrators", 5, {32, 544}, SidTypeAlias},
    {L"BUILTIN", L"Users", 5, {32, 545}, SidTypeAlias},
    {L"BUILTIN", L"Guests", 5, {32, 546}, SidTypeAlias},
};

// An open policy: the accounts of the host as they were when it was opened.
struct Policy {
  std::vector<AccountEntry> accounts;
};

std::mutex policiesMutex;
std::set<Policy*> livePolicies;

struct Resolved {
  std::wstring domain;
  Sid domainSid;
  Sid sid;
  SID_NAME_USE use = SidTypeUnknown;
};

// The domain part of an account's SID: all but its last sub-authority, or the bare authority.
Sid DomainOf(const Sid& sid, SID_NAME_USE use) {
  Sid domain = sid;
  if (use == SidTypeWellKnownGroup && sid.subAuthorities.size() <= 1) {
    domain.subAuthorities.clear();
  } else if (!domain.subAuthorities.empty()) {
    domain.subAuthorities.pop_back();
  }
  return domain;
}

bool Resolve(const Policy& policy, std::wstring_view text, bool isolatedAsLocal, Resolved& out) {
  std::wstring_view domain;
  std::wstring_view name = text;
  bool qualified = false;
  if (std::size_t slash = text.rfind(L'\\'); slash != std::wstring_view::npos) {
    domain = text.substr(0, slash);
    name = text.substr(slash + 1);
    qualified = true;
  }
  if (name.empty()) return false;
  for (const WellKnownAccount& account : kWellKnownAccounts) {
    if (!EqualsIgnoringCase(name, account.name)) continue;
    if (qualified && !EqualsIgnoringCase(domain, account.domain)) continue;
    out.domain = account.domain;
    out.sid = MakeSid(account.authority, account.subAuthorities);
    out.use = account.use;
    out.domainSid = account.use == SidTypeAlias ? MakeSid(5, {32}) : DomainOf(out.sid, account.use);
    return true;
  }
  const std::wstring computer = LocalComputerName();
  for (const AccountEntry& account : policy.accounts) {
    if (!EqualsIgnoringCase(name, account.name)) continue;
    bool local = account.domain.empty();
    if (qualified) {
      if (!EqualsIgnoringCase(domain, local ? std::wstring_view(computer) : std::wstring_view(account.domain)))
        continue;
    } else if (!local && isolatedAsLocal) {
      // A name without a domain part is looked up on the local computer only.
      continue;
    }
    out.domain = local ? computer : account.domain;
    out.sid = account.sid;
    out.use = account.use;
    out.domainSid = DomainOf(account.sid, account.use);
    return true;
  }
  return false;
}

std::size_t AlignUp(std::size_t offset) {
  return (offset + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
}

// A name as LSA_UNICODE_STRING carries it: two bytes per character.
std::wstring TextOf(const LSA_UNICODE_STRING& text) {
  if (text.Buffer == nullptr) return {};
  return std::wstring(text.Buffer, text.Length / 2);
}

// Builds the referenced-domain list as one block that LsaFreeMemory frees whole.
LSA_REFERENCED_DOMAIN_LIST* MakeDomainList(const std::vector<Resolved>& domains) {
  std::size_t size = AlignUp(sizeof(LSA_REFERENCED_DOMAIN_LIST));
  std::size_t trustOffset = size;
  size = AlignUp(size + domains.size() * sizeof(LSA_TRUST_INFORMATION));
  std::vector<std::vector<BYTE>> sids;
  for (const Resolved& domain : domains) {
    sids.push_back(portable::WriteSid(domain.domainSid));
    size = AlignUp(size + sids.back().size());
    size = AlignUp(size + (domain.domain.size() + 1) * sizeof(wchar_t));
  }
  auto* block = static_cast<BYTE*>(std::calloc(1, size));
  if (block == nullptr) return nullptr;
  auto* list = reinterpret_cast<LSA_REFERENCED_DOMAIN_LIST*>(block);
  list->Entries = static_cast<ULONG>(domains.size());
  list->Domains = domains.empty() ? nullptr : reinterpret_cast<LSA_TRUST_INFORMATION*>(block + trustOffset);
  std::size_t offset = AlignUp(trustOffset + domains.size() * sizeof(LSA_TRUST_INFORMATION));
  for (std::size_t i = 0; i < domains.size(); ++i) {
    std::memcpy(block + offset, sids[i].data(), sids[i].size());
    list->Domains[i].Sid = block + offset;
    offset = AlignUp(offset + sids[i].size());
    auto* name = reinterpret_cast<wchar_t*>(block + offset);
    std::memcpy(name, domains[i].domain.c_str(), (domains[i].domain.size() + 1) * sizeof(wchar_t));
    list->Domains[i].Name.Buffer = name;
    list->Domains[i].Name.Length = static_cast<USHORT>(domains[i].domain.size() * 2);
    list->Domains[i].Name.MaximumLength = static_cast<USHORT>((domains[i].domain.size() + 1) * 2);
    offset = AlignUp(offset + (domains[i].domain.size() + 1) * sizeof(wchar_t));
  }
  return list;
}

// Builds the translated SIDs as one block that LsaFreeMemory frees whole, SIDs included.
LSA_TRANSLATED_SID2* MakeTranslatedSids(const std::vector<std::optional<Resolved>>& names,
                                        const std::vector<Resolved>& domains) {
  std::size_t size = AlignUp(names.size() * sizeof(LSA_TRANSLATED_SID2));
  std::vector<std::vector<BYTE>> sids;
  for (const auto& name : names) {
    sids.push_back(name ? portable::WriteSid(name->sid) : std::vector<BYTE>());
    size = AlignUp(size + sids.back().size());
  }
  auto* block = static_cast<BYTE*>(std::calloc(1, size ? size : 1));
  if (block == nullptr) return nullptr;
  auto* entries = reinterpret_cast<LSA_TRANSLATED_SID2*>(block);
  std::size_t offset = AlignUp(names.size() * sizeof(LSA_TRANSLATED_SID2));
  for (std::size_t i = 0; i < names.size(); ++i) {
    entries[i].Use = SidTypeUnknown;
    entries[i].Sid = nullptr;
    entries[i].DomainIndex = -1;
    entries[i].Flags = 0;
    if (!names[i]) continue;
    std::memcpy(block + offset, sids[i].data(), sids[i].size());
    entries[i].Sid = block + offset;
    entries[i].Use = names[i]->use;
    for (std::size_t d = 0; d < domains.size(); ++d)
      if (EqualsIgnoringCase(domains[d].domain, names[i]->domain)) entries[i].DomainIndex = static_cast<LONG>(d);
    offset = AlignUp(offset + sids[i].size());
  }
  return entries;
}

}  // namespace

}  // namespace tessarwick::wmihost

using namespace tessarwick::wmihost;

NTSTATUS NTAPI LsaOpenPolicy(PLSA_UNICODE_STRING systemName, PLSA_OBJECT_ATTRIBUTES attributes, ACCESS_MASK,
                             PLSA_HANDLE policyHandle) {
  if (policyHandle == nullptr || attributes == nullptr) return kStatusInvalidParameter;
  *policyHandle = nullptr;
  if (systemName != nullptr && systemName->Length != 0) {
    std::wstring name = TextOf(*systemName);
    if (name.rfind(L"\\\\", 0) == 0) name.erase(0, 2);
    // Only the local computer's authority answers here.
    if (name != L"." && !EqualsIgnoringCase(name, LocalComputerName())) return kRpcServerUnavailable;
  }
  std::shared_ptr<const HostSnapshot> snapshot = ReadHostSnapshot();
  if (!snapshot) return kStatusInternalDbCorruption;
  auto* policy = new Policy{snapshot->State().accounts};
  std::lock_guard lock(policiesMutex);
  livePolicies.insert(policy);
  *policyHandle = policy;
  return kStatusSuccess;
}

NTSTATUS NTAPI LsaLookupNames2(LSA_HANDLE policyHandle, ULONG flags, ULONG count, PLSA_UNICODE_STRING names,
                               PLSA_REFERENCED_DOMAIN_LIST* referencedDomains, PLSA_TRANSLATED_SID2* sids) {
  if (referencedDomains == nullptr || sids == nullptr) return kStatusInvalidParameter;
  *referencedDomains = nullptr;
  *sids = nullptr;
  Policy* policy = static_cast<Policy*>(policyHandle);
  {
    std::lock_guard lock(policiesMutex);
    if (livePolicies.count(policy) == 0) return kStatusInvalidHandle;
  }
  if (count == 0 || names == nullptr) return kStatusInvalidParameter;

  std::vector<std::optional<Resolved>> resolved;
  std::vector<Resolved> domains;
  ULONG mapped = 0;
  for (ULONG i = 0; i < count; ++i) {
    Resolved account;
    if (!Resolve(*policy, TextOf(names[i]), (flags & LSA_LOOKUP_ISOLATED_AS_LOCAL) != 0, account)) {
      resolved.emplace_back();
      continue;
    }
    ++mapped;
    bool known = false;
    for (const Resolved& domain : domains) known = known || EqualsIgnoringCase(domain.domain, account.domain);
    if (!known) domains.push_back(account);
    resolved.emplace_back(std::move(account));
  }
  LSA_REFERENCED_DOMAIN_LIST* domainList = MakeDomainList(domains);
  LSA_TRANSLATED_SID2* translated = MakeTranslatedSids(resolved, domains);
  if (domainList == nullptr || translated == nullptr) {
    std::free(domainList);
    std::free(translated);
    return kStatusNoMemory;
  }
  *referencedDomains = domainList;
  *sids = translated;
  if (mapped == 0) return kStatusNoneMapped;
  return mapped == count ? kStatusSuccess : kStatusSomeNotMapped;
}

ULONG NTAPI LsaNtStatusToWinError(NTSTATUS status) {
  for (const StatusMapping& mapping : kStatusMappings)
    if (mapping.status == status) return mapping.error;
  return kErrorMessageNotFound;
}

NTSTATUS NTAPI LsaClose(LSA_HANDLE objectHandle) {
  auto* policy = static_cast<Policy*>(objectHandle);
  {
    std::lock_guard lock(policiesMutex);
    if (livePolicies.erase(policy) == 0) return kStatusInvalidHandle;
  }
  delete policy;
  return kStatusSuccess;
}

NTSTATUS NTAPI LsaFreeMemory(PVOID buffer) {
  std::free(buffer);
  return kStatusSuccess;
}

BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size) {
  if (size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::wstring name = LocalComputerName();
  const auto needed = static_cast<DWORD>(name.size() + 1);
  if (buffer == nullptr || *size < needed) {
    *size = needed;
    SetLastError(kErrorBufferOverflow);
    return FALSE;
  }
  std::memcpy(buffer, name.c_str(), needed * sizeof(wchar_t));
  *size = needed - 1;
  return TRUE;
}
