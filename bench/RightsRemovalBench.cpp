// Rights removal on descriptors of about 4 KiB and about 64 KiB of SDDL text (counted in
// characters). A DACL holds at most 64 KiB, so the larger size is the most a namespace can carry;
// the time per KiB at both sizes shows whether the result is built in linear time.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include <malloc.h>

#include "common/NamespaceTarget.h"

namespace tessarwick {
namespace {

constexpr const wchar_t* kTrusteeSid = L"S-1-5-21-3623811015-3361044348-30300820-1001";

// Converter-shaped text: owner, group and DACL flags, then entries until the size is reached,
// then a short SACL. One entry in four names the trustee, in each of the ways the removal treats
// differently (rebuilt, dropped, kept, other type); the rest name other accounts.
std::wstring MakeDescriptorText(std::size_t characters) {
  std::wstring sddl = L"O:BAG:BAD:PAI";
  const std::wstring trustee = kTrusteeSid;
  const std::wstring trusteeEntries[] = {
      L"(A;CI;CCDCWP;;;" + trustee + L")",
      L"(A;CI;DC;;;" + trustee + L")",
      L"(A;CI;CC;;;" + trustee + L")",
      L"(D;CI;DC;;;" + trustee + L")",
  };
  for (std::size_t entry = 0; sddl.size() < characters; ++entry) {
    if (entry % 4 == 0)
      sddl += trusteeEntries[(entry / 4) % 4];
    else
      sddl += L"(A;CI;CCDCRP;;;S-1-5-21-3623811015-3361044348-30300820-" + std::to_wstring(1100 + entry) + L")";
  }
  sddl += L"S:AI(AU;SA;CCDC;;;WD)";
  return sddl;
}

void RemoveTrusteeRightsPerKiB(benchmark::State& state) {
  const std::wstring text = MakeDescriptorText(static_cast<std::size_t>(state.range(0)) * 1024);
  const WideString sddl(text.c_str(), text.size());
  const WideString sidText(kTrusteeSid);
  const CNamespaceTarget target(L"root\\cimv2", true);
  for (auto _ : state) {
    WideString result = target.RemoveTrusteeRights(sidText, true, 0x2, sddl);
    benchmark::DoNotOptimize(result);
  }
  // Inverted rate over the text's size: seconds per KiB of input.
  state.counters["time_per_KiB"] =
      benchmark::Counter(static_cast<double>(text.size()) / 1024.0,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["KiB"] = static_cast<double>(text.size()) / 1024.0;
}
// The command calls RemoveTrusteeRights once per run, so every buffer it fills is fresh memory at
// any size. In a loop, glibc instead hands blocks of 128 KiB and more back to the kernel when they
// are freed and the next iteration faults them in again, which only the larger size pays; that
// would time the allocator's threshold, not the building. Keeping freed memory in the process
// puts both sizes under the same rule.
int KeepFreedMemoryInTheProcess() {
  mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
  return 0;
}
const int kAllocatorTuned = KeepFreedMemoryInTheProcess();

BENCHMARK(RemoveTrusteeRightsPerKiB)->ArgName("KiB")->Arg(4)->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tessarwick
