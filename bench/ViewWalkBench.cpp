// The view walk (/N root /R) over generated trees of 1,000 and 10,000 namespaces on the simulated
// host, with the output thrown away. Each namespace costs one connection, one descriptor read and
// one query, so the time per namespace at both sizes shows whether the walk stays linear.
//
// Each size's host file is generated and written once and walked in every repetition. The first
// walk of a file also pays for parsing it once, as every run of the program does; later walks show
// the cost of the calls alone.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

#include "common/NamespaceTarget.h"
#include "platform/Output.h"
#include "platform/Platform.h"
#include "platform/portable/wmi/HostModel.h"
#include "platform/portable/wmi/HostStore.h"

namespace tessarwick {
namespace {

constexpr std::size_t kFanOut = 10;

// A balanced tree: kFanOut sub-namespaces per namespace, filled breadth first, until the tree
// holds `count` in all. Every namespace below root inherits root's entries.
wmihost::HostState MakeTree(std::size_t count) {
  wmihost::HostState state = wmihost::DefaultHostState();
  wmihost::NamespaceNode& root = state.local.root;
  root.children.clear();
  std::deque<wmihost::NamespaceNode*> open{&root};
  std::size_t made = 1;
  while (made < count) {
    wmihost::NamespaceNode* parent = open.front();
    open.pop_front();
    parent->children.reserve(kFanOut);
    for (std::size_t child = 0; child < kFanOut && made < count; ++child, ++made)
      parent->children.push_back(wmihost::MakeChildNamespace(*parent, L"ns" + std::to_wstring(made)));
    for (wmihost::NamespaceNode& child : parent->children) open.push_back(&child);
  }
  return state;
}

// The host files of the sizes benchmarked, each written once and removed at the end.
class GeneratedHostFiles {
 public:
  GeneratedHostFiles(const GeneratedHostFiles&) = delete;
  GeneratedHostFiles& operator=(const GeneratedHostFiles&) = delete;
  static GeneratedHostFiles& Instance() {
    static GeneratedHostFiles files;
    return files;
  }
  const std::filesystem::path& For(std::size_t count) {
    auto found = files_.find(count);
    if (found != files_.end()) return found->second;
    std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("tessarwick-bench-view-" + std::to_string(::getpid()) + "-" + std::to_string(count) + ".json");
    std::ofstream(file, std::ios::binary) << wmihost::HostStateToJson(MakeTree(count));
    return files_.emplace(count, std::move(file)).first->second;
  }

 private:
  GeneratedHostFiles() = default;
  ~GeneratedHostFiles() {
    std::error_code ignored;
    for (const auto& [count, file] : files_) {
      std::filesystem::remove(file, ignored);
      std::filesystem::path lock = file;
      lock += ".lock";
      std::filesystem::remove(lock, ignored);
    }
  }
  std::map<std::size_t, std::filesystem::path> files_;
};

// Throws the output away, counting the headings and failure lines, so that a walk that did not
// reach every namespace is reported rather than timed.
struct WalkCount {
  std::size_t headings = 0;
  std::size_t failures = 0;
};

std::size_t Occurrences(std::string_view text, std::string_view word) {
  std::size_t found = 0;
  for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + word.size())) ++found;
  return found;
}

void Discard(void* context, const char* bytes, std::size_t length) {
  auto* count = static_cast<WalkCount*>(context);
  const std::string_view text(bytes, length);
  count->headings += Occurrences(text, "Permissions on ");
  count->failures += Occurrences(text, "Failed");
}

void WalkPerNamespace(benchmark::State& state) {
  const std::size_t count = static_cast<std::size_t>(state.range(0));
  ::setenv("TESSARWICK_HOST_FILE", GeneratedHostFiles::Instance().For(count).c_str(), 1);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  WalkCount walked;
  SetOutputReceiver(&Discard, &walked);

  for (auto _ : state) {
    CNamespaceTarget target(L"root", true);
    target.ShowNamespaceSecurity(WideString());
  }

  SetOutputReceiver(nullptr, nullptr);
  if (walked.headings != count * state.iterations() || walked.failures != 0) {
    state.SkipWithError("the walk did not show every namespace's descriptor");
    return;
  }
  state.counters["namespaces"] = static_cast<double>(count);
  // Inverted rate over the tree's size: seconds per namespace.
  state.counters["time_per_namespace"] = benchmark::Counter(
      static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// One walk per repetition: a walk of 10,000 namespaces is long enough to time on its own.
BENCHMARK(WalkPerNamespace)->ArgName("namespaces")->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessarwick
