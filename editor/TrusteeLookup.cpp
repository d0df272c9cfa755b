#include "editor/TrusteeLookup.h"

#include "platform/Output.h"
#include "platform/UniqueAny.h"
#include "wmi/ErrorText.h"

namespace tessarwick {

namespace {

void ClosePolicy(LSA_HANDLE policy) noexcept { LsaClose(policy); }
void FreeLsaMemory(void* buffer) noexcept { LsaFreeMemory(buffer); }

using UniqueLsaPolicy = UniqueAny<LSA_HANDLE, ClosePolicy>;
template <typename T>
using UniqueLsaMemory = UniqueAny<T, FreeLsaMemory>;

// LSA strings count their length in bytes of UTF-16 in a 16-bit field, so no longer name can be
// described to the service. A Windows command line cannot carry one; other command lines can.
constexpr std::size_t kLongestLookupName = 0xFFFF / 2;

}  // namespace

LSA_HANDLE OpenLookupPolicy() {
  // The service wants the attributes zeroed, their length field included.
  LSA_OBJECT_ATTRIBUTES attributes{};
  LSA_HANDLE policy = nullptr;
  // No system name: the policy of the computer the command runs on.
  const NTSTATUS status = LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES, &policy);
  const ULONG code = LsaNtStatusToWinError(status);
  if (code != 0) {
    WidePrintf(L"OpenPolicy returned %lu\n", code);
    return nullptr;
  }
  return policy;
}

HRESULT LookupTrusteeSid(WideString trustee, WideString& sidText) {
  if (trustee.IsAbsent() || trustee.IsEmpty()) return E_FAIL;
  // Cut to fit, the name would be another account's; it is refused before the service is asked.
  if (trustee.Length() > kLongestLookupName) return E_INVALIDARG;

  UniqueLsaPolicy policy(OpenLookupPolicy());
  if (!policy) return E_FAIL;

  // The name goes to the service exactly as typed; the service does its own matching.
  LSA_UNICODE_STRING name;
  name.Length = static_cast<USHORT>(trustee.Length() * 2);
  name.MaximumLength = name.Length;
  name.Buffer = const_cast<PWSTR>(trustee.Text());

  // Declared in this order so that the domain list is freed before the SID array.
  UniqueLsaMemory<PLSA_TRANSLATED_SID2> sids;
  UniqueLsaMemory<PLSA_REFERENCED_DOMAIN_LIST> domains;
  // Isolated names (no domain part) are looked up on this computer only, so a local account is
  // never mistaken for a domain account of the same name; a name with a domain part may still be
  // resolved by that domain.
  const NTSTATUS status =
      LsaLookupNames2(policy.get(), LSA_LOOKUP_ISOLATED_AS_LOCAL, 1, &name, domains.put(), sids.put());
  policy.reset();

  // Partial success (some names not mapped) converts to a nonzero code as well: with one name
  // that name was not mapped, so only a code of 0 counts.
  const ULONG code = LsaNtStatusToWinError(status);
  if (code != 0) {
    WidePrintf(L"LsaLookupNames2 returned %lu %S\n", code, SystemErrorText(code));
    return HresultFromWindowsError(code);
  }

  UniqueLocal<LPWSTR> text;
  if (!sids || !ConvertSidToStringSidW(sids.get()[0].Sid, text.put())) return E_FAIL;
  sidText = WideString(text.get());
  return S_OK;
}

}  // namespace tessarwick
