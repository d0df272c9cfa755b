// The view walk (/N root /R) over generated trees of 1,000 and 10,000 namespaces on the simulated
// host, with the output thrown away. Each namespace costs one connection, one descriptor read and
// one query, so the time per namespace at both sizes shows whether the walk stays linear.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "common/NamespaceTarget.h"
#include "platform/Output.h"
#include "platform/Platform.h"
#include "platform/portable/wmi/HostModel.h"
#include "platform/portable/wmi/HostStore.h"

namespace tessarwick {
namespace {

// Ten sub-namespaces per namespace, filled breadth first, until the tree holds `count` in all.
wmihost::HostState MakeTree(std::size_t count) {
  wmihost::HostState state = wmihost::DefaultHostState();
  wmihost::NamespaceNode& root = state.local.root;
  root.children.clear();
  std::deque<wmihost::NamespaceNode*> open{&root};
  std::size_t made = 1;
  while (made < count) {
    wmihost::NamespaceNode* parent = open.front();
    open.pop_front();
    parent->children.reserve(10);
    for (int child = 0; child < 10 && made < count; ++child, ++made) {
      parent->children.push_back(wmihost::MakeChildNamespace(*parent, L"ns" + std::to_wstring(made)));
    }
    for (wmihost::NamespaceNode& child : parent->children) open.push_back(&child);
  }
  return state;
}

void Discard(void*, const char*, std::size_t) {}

void WalkPerNamespace(benchmark::State& state) {
  const std::size_t count = static_cast<std::size_t>(state.range(0));
  const std::filesystem::path hostFile = std::filesystem::temp_directory_path() /
                                         ("tessarwick-bench-view-" + std::to_string(::getpid()) + "-" +
                                          std::to_string(count) + ".json");
  std::ofstream(hostFile) << wmihost::HostStateToJson(MakeTree(count));
  ::setenv("TESSARWICK_HOST_FILE", hostFile.c_str(), 1);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  SetOutputReceiver(&Discard, nullptr);

  for (auto _ : state) {
    CNamespaceTarget target(L"root", true);
    target.ShowNamespaceSecurity(WideString());
  }

  SetOutputReceiver(nullptr, nullptr);
  std::filesystem::remove(hostFile);
  state.counters["namespaces"] = static_cast<double>(count);
  // Inverted rate over the tree's size: seconds per namespace.
  state.counters["time_per_namespace"] = benchmark::Counter(
      static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// One walk per size: a walk of 10,000 namespaces is long enough to time on its own.
BENCHMARK(WalkPerNamespace)->ArgName("namespaces")->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessarwick
