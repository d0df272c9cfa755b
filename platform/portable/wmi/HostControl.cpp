// Faults, records and the host file's location for the simulated host.
#include "platform/portable/wmi/HostControl.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cwctype>
#include <mutex>

#include "platform/Text.h"
#include "platform/portable/wmi/HostRuntime.h"

namespace tessarwick::wmihost {

namespace {

struct CallName {
  HostCall call;
  const wchar_t* name;
};
constexpr CallName kCallNames[] = {
    {HostCall::ConnectServer, L"ConnectServer"},
    {HostCall::ExecQuery, L"ExecQuery"},
    {HostCall::GetObject, L"GetObject"},
    {HostCall::ExecMethod, L"ExecMethod"},
    {HostCall::GetMethod, L"GetMethod"},
    {HostCall::SpawnInstance, L"SpawnInstance"},
    {HostCall::Put, L"Put"},
    {HostCall::Get, L"Get"},
    {HostCall::Next, L"Next"},
    {HostCall::Clone, L"Clone"},
    {HostCall::CoSetProxyBlanket, L"CoSetProxyBlanket"},
    {HostCall::PutInstance, L"PutInstance"},
    {HostCall::DeleteInstance, L"DeleteInstance"},
    {HostCall::SafeArrayAccessData, L"SafeArrayAccessData"},
};

// Tests of one process may inject faults and read records from several threads.
struct Registry {
  std::mutex mutex;
  std::vector<Fault> faults;
  std::vector<std::pair<CLSID, HRESULT>> creationFailures;
  std::vector<ProxyBlanketRecord> proxyBlankets;
  std::vector<ContextRecord> contexts;
  std::vector<ConnectRecord> connects;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

bool SameComputer(std::wstring_view faultComputer, std::wstring_view originComputer) {
  bool faultLocal =
      faultComputer.empty() || faultComputer == L"." || EqualsIgnoringCase(faultComputer, LocalComputerName());
  if (faultLocal) return originComputer.empty();
  return EqualsIgnoringCase(faultComputer, originComputer);
}

bool SameNamespace(std::wstring_view faultPath, std::wstring_view originPath) {
  std::vector<std::wstring> faultNames;
  std::vector<std::wstring> originNames;
  if (!SplitNamespacePath(faultPath, faultNames) || !SplitNamespacePath(originPath, originNames)) return false;
  if (faultNames.size() != originNames.size()) return false;
  for (std::size_t i = 0; i < faultNames.size(); ++i)
    if (!EqualsIgnoringCase(faultNames[i], originNames[i])) return false;
  return true;
}

bool Applies(const Fault& fault, const Origin& origin, HostCall call, std::wstring_view name, std::wstring_view object,
             std::wstring_view outParametersOf) {
  return fault.call == call && SameComputer(fault.computer, origin.computer) &&
         SameNamespace(fault.namespacePath, origin.namespacePath) &&
         (fault.name.empty() || EqualsIgnoringCase(fault.name, name)) &&
         (fault.object.empty() || EqualsIgnoringCase(fault.object, object)) &&
         (fault.method.empty() || EqualsIgnoringCase(fault.method, outParametersOf));
}

std::filesystem::path HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
  return ".";
}

}  // namespace

const wchar_t* HostCallName(HostCall call) {
  for (const CallName& entry : kCallNames)
    if (entry.call == call) return entry.name;
  return L"";
}

bool HostCallFromName(const std::wstring& name, HostCall& call) {
  for (const CallName& entry : kCallNames)
    if (name == entry.name) {
      call = entry.call;
      return true;
    }
  return false;
}

void InjectFault(const Fault& fault) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.faults.push_back(fault);
}

void FailCreation(REFCLSID clsid, HRESULT status) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.creationFailures.emplace_back(clsid, status);
}

void ClearFaults() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.faults.clear();
  registry.creationFailures.clear();
  portable::FailNextSafeArrayAccess(S_OK);
}

std::optional<Fault> FindFault(const Origin& origin, HostCall call, std::wstring_view name, std::wstring_view object,
                               std::wstring_view outParametersOf) {
  if (origin.fileFaults)
    for (const Fault& fault : *origin.fileFaults)
      if (Applies(fault, origin, call, name, object, outParametersOf)) return fault;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  for (const Fault& fault : registry.faults)
    if (Applies(fault, origin, call, name, object, outParametersOf)) return fault;
  return std::nullopt;
}

std::optional<HRESULT> CreationFailureFor(CreationTarget target, const std::vector<CreationFailure>& fileFailures) {
  for (const CreationFailure& failure : fileFailures)
    if (failure.target == target) return failure.status;
  const CLSID& clsid = target == CreationTarget::Locator ? CLSID_WbemLocator : CLSID_WbemContext;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  for (const auto& [failing, status] : registry.creationFailures)
    if (failing == clsid) return status;
  return std::nullopt;
}

void RecordProxyBlanket(ProxyBlanketRecord record) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.proxyBlankets.push_back(std::move(record));
}

void RecordContext(ContextRecord record) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.contexts.push_back(std::move(record));
}

void RecordConnect(ConnectRecord record) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.connects.push_back(std::move(record));
}

std::vector<ProxyBlanketRecord> RecordedProxyBlankets() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.proxyBlankets;
}

std::vector<ContextRecord> RecordedContexts() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.contexts;
}

std::vector<ConnectRecord> RecordedConnects() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.connects;
}

void ClearRecords() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.proxyBlankets.clear();
  registry.contexts.clear();
  registry.connects.clear();
}

std::filesystem::path HostFilePath() {
  if (const char* file = std::getenv("TESSARWICK_HOST_FILE"); file != nullptr && *file != '\0') return file;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/')
    return std::filesystem::path(state) / "tessarwick" / "host.json";
  return HomeDirectory() / ".local" / "state" / "tessarwick" / "host.json";
}

std::wstring LocalComputerName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return L"LOCALHOST";
  std::wstring name;
  if (!platform::AnsiToWide(host, std::char_traits<char>::length(host), name)) name = L"LOCALHOST";
  // As a NetBIOS name: upper-cased, at most 15 characters.
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  if (name.size() > MAX_COMPUTERNAME_LENGTH) name.resize(MAX_COMPUTERNAME_LENGTH);
  return name;
}

}  // namespace tessarwick::wmihost
