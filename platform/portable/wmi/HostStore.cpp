// Reading, writing and locking the simulated host's JSON file.
#include "platform/portable/wmi/HostStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwctype>
#include <fstream>
#include <initializer_list>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/Text.h"

namespace tessarwick::wmihost {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kFormatVersion = 1;
// A namespace's stored descriptor is all of it: owner, group, DACL and, when it has one, SACL.
constexpr std::uint32_t kStoredParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;

struct SdShapeName {
  SdShape shape;
  const char* name;
};
constexpr SdShapeName kSdShapes[] = {
    {SdShape::ByteArray, "byte-array"},
    {SdShape::Null, "null"},
    {SdShape::String, "string"},
    {SdShape::Int32Array, "int32-array"},
    {SdShape::InvalidBytes, "invalid-bytes"},
};

struct CreationTargetName {
  CreationTarget target;
  const char* name;
};
constexpr CreationTargetName kCreationTargets[] = {
    {CreationTarget::Locator, "WbemLocator"},
    {CreationTarget::Context, "WbemContext"},
};

struct SidUseName {
  SID_NAME_USE use;
  const char* name;
};
constexpr SidUseName kSidUses[] = {
    {SidTypeUser, "user"},         {SidTypeGroup, "group"},
    {SidTypeAlias, "alias"},       {SidTypeWellKnownGroup, "wellKnownGroup"},
    {SidTypeComputer, "computer"},
};

// A fault found while reading the file; the text names where in the file it is.
struct FileFault {
  std::string text;
};

std::string Utf8(const std::wstring& text) {
  std::string out;
  platform::WideToAnsi(text.data(), text.size(), out);
  return out;
}

std::wstring Wide(const std::string& text, const std::string& where) {
  std::wstring out;
  if (!platform::AnsiToWide(text.data(), text.size(), out)) throw FileFault{where + ": text is not UTF-8"};
  return out;
}

std::string StatusText(HRESULT status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}

void CheckKeys(const Json& object, std::initializer_list<const char*> allowed, const std::string& where) {
  if (!object.is_object()) throw FileFault{where + ": an object is expected"};
  for (const auto& item : object.items()) {
    bool known = false;
    for (const char* key : allowed) known = known || item.key() == key;
    if (!known) throw FileFault{where + ": unknown key \"" + item.key() + "\""};
  }
}

std::wstring StringAt(const Json& object, const char* key, const std::string& where, bool required) {
  auto found = object.find(key);
  if (found == object.end()) {
    if (required) throw FileFault{where + ": \"" + key + "\" is missing"};
    return {};
  }
  if (!found->is_string()) throw FileFault{where + ": \"" + key + "\" must be a string"};
  return Wide(found->get<std::string>(), where);
}

// A status as the file writes it: "0x80041003", or a number.
HRESULT StatusAt(const Json& value, const std::string& where) {
  if (value.is_number_integer()) {
    long long number = value.get<long long>();
    if (number < INT32_MIN || number > static_cast<long long>(UINT32_MAX))
      throw FileFault{where + ": status out of range"};
    return static_cast<HRESULT>(static_cast<std::uint32_t>(number));
  }
  if (value.is_string()) {
    const std::string text = value.get<std::string>();
    char* end = nullptr;
    errno = 0;
    unsigned long long number = std::strtoull(text.c_str(), &end, 0);
    if (!text.empty() && end != nullptr && *end == '\0' && errno == 0 && number <= UINT32_MAX)
      return static_cast<HRESULT>(static_cast<std::uint32_t>(number));
  }
  throw FileFault{where + ": a status such as \"0x80041003\" is expected"};
}

SecurityDescriptor DescriptorFrom(const std::wstring& text, const std::string& where) {
  SecurityDescriptor descriptor;
  DWORD error = 0;
  std::size_t offset = 0;
  if (!portable::ParseSddl(text, descriptor, error, offset))
    throw FileFault{where + ": descriptor is not valid SDDL (at offset " + std::to_string(offset) + ")"};
  return descriptor;
}

// The file's own spelling of a descriptor that has not changed since it was read, else the
// descriptor's canonical text.
std::wstring DescriptorText(const NamespaceNode& node) {
  if (!node.fileText.empty()) {
    SecurityDescriptor asRead;
    DWORD error = 0;
    std::size_t offset = 0;
    if (portable::ParseSddl(node.fileText, asRead, error, offset) && asRead == node.descriptor) return node.fileText;
  }
  return portable::FormatSddl(node.descriptor, kStoredParts);
}

Json NodeToJson(const NamespaceNode& node) {
  Json object;
  object["name"] = Utf8(node.name);
  object["descriptor"] = Utf8(DescriptorText(node));
  if (!node.children.empty()) {
    Json children = Json::array();
    for (const NamespaceNode& child : node.children) children.push_back(NodeToJson(child));
    object["children"] = std::move(children);
  }
  return object;
}

// A node without a descriptor is a namespace with no explicit entries under its parent's owner
// and group (root without one has the default descriptor). A parent is complete before its
// children are read, so what they inherit is known at once.
NamespaceNode NodeFromJson(const Json& object, const NamespaceNode* parent, const std::string& where) {
  CheckKeys(object, {"name", "descriptor", "children"}, where);
  std::wstring name = StringAt(object, "name", where, true);
  std::vector<std::wstring> names;
  if (!SplitNamespacePath(name, names) || names.size() != 1)
    throw FileFault{where + ": \"" + Utf8(name) + "\" is not a namespace name"};
  const std::string here = where + " " + Utf8(name);
  NamespaceNode node;
  if (object.contains("descriptor")) {
    node.name = name;
    node.fileText = StringAt(object, "descriptor", here, true);
    node.descriptor = DescriptorFrom(node.fileText, here);
  } else if (parent != nullptr) {
    node = MakeChildNamespace(*parent, name);
  } else {
    node = DefaultNamespaceTree();
    node.children.clear();
    node.name = name;
  }
  if (auto children = object.find("children"); children != object.end()) {
    if (!children->is_array()) throw FileFault{here + ": \"children\" must be an array"};
    for (const Json& child : *children) {
      NamespaceNode childNode = NodeFromJson(child, &node, here);
      for (const NamespaceNode& sibling : node.children)
        if (EqualsIgnoringCase(sibling.name, childNode.name))
          throw FileFault{here + ": two namespaces named \"" + Utf8(childNode.name) + "\""};
      node.children.push_back(std::move(childNode));
    }
  }
  return node;
}

Json AccountToJson(const AccountEntry& account) {
  Json object;
  if (!account.domain.empty()) object["domain"] = Utf8(account.domain);
  object["name"] = Utf8(account.name);
  Sid machine = portable::LocalMachineSid();
  if (account.domain.empty() && account.sid.authority == machine.authority &&
      account.sid.subAuthorities.size() == machine.subAuthorities.size() + 1 &&
      std::equal(machine.subAuthorities.begin(), machine.subAuthorities.end(), account.sid.subAuthorities.begin()))
    object["rid"] = account.sid.subAuthorities.back();
  else
    object["sid"] = Utf8(portable::FormatSidText(account.sid));
  if (account.use != SidTypeUser)
    for (const SidUseName& use : kSidUses)
      if (use.use == account.use) object["type"] = use.name;
  return object;
}

AccountEntry AccountFromJson(const Json& object, const std::string& where) {
  CheckKeys(object, {"domain", "name", "sid", "rid", "type"}, where);
  AccountEntry account;
  account.domain = StringAt(object, "domain", where, false);
  account.name = StringAt(object, "name", where, true);
  const std::string here = where + " " + Utf8(account.name);
  if (account.name.empty()) throw FileFault{where + ": an account needs a name"};
  if (object.contains("sid") == object.contains("rid")) throw FileFault{here + ": give either \"sid\" or \"rid\""};
  if (object.contains("rid")) {
    if (!account.domain.empty()) throw FileFault{here + ": \"rid\" is only for accounts of the local computer"};
    const Json& rid = object["rid"];
    if (!rid.is_number_unsigned() || rid.get<unsigned long long>() > UINT32_MAX)
      throw FileFault{here + ": \"rid\" must be a number"};
    account.sid = LocalAccountSid(rid.get<std::uint32_t>());
  } else {
    std::wstring text = StringAt(object, "sid", here, true);
    if (text.rfind(L"S-", 0) != 0 || !portable::ParseSidText(text, account.sid))
      throw FileFault{here + ": \"sid\" must be a SID such as \"S-1-5-21-1-2-3-1001\""};
  }
  if (object.contains("type")) {
    std::wstring type = StringAt(object, "type", here, true);
    bool known = false;
    for (const SidUseName& use : kSidUses)
      if (Utf8(type) == use.name) account.use = use.use, known = true;
    if (!known) throw FileFault{here + ": unknown account type \"" + Utf8(type) + "\""};
  }
  return account;
}

Json FaultToJson(const Fault& fault) {
  Json object;
  if (!fault.computer.empty()) object["computer"] = Utf8(fault.computer);
  object["namespace"] = Utf8(fault.namespacePath);
  object["call"] = Utf8(HostCallName(fault.call));
  if (!fault.name.empty()) object["name"] = Utf8(fault.name);
  if (!fault.object.empty()) object["object"] = Utf8(fault.object);
  if (!fault.method.empty()) object["method"] = Utf8(fault.method);
  if (fault.status != S_OK) object["status"] = StatusText(fault.status);
  if (fault.returnValue != 0) object["returnValue"] = fault.returnValue;
  if (fault.sdShape != SdShape::ByteArray)
    for (const SdShapeName& shape : kSdShapes)
      if (shape.shape == fault.sdShape) object["sd"] = shape.name;
  return object;
}

Fault FaultFromJson(const Json& object, const std::string& where) {
  CheckKeys(object, {"computer", "namespace", "call", "name", "object", "method", "status", "returnValue", "sd"},
            where);
  Fault fault;
  fault.computer = StringAt(object, "computer", where, false);
  fault.namespacePath = StringAt(object, "namespace", where, true);
  std::wstring call = StringAt(object, "call", where, true);
  if (!HostCallFromName(call, fault.call)) throw FileFault{where + ": unknown call \"" + Utf8(call) + "\""};
  fault.name = StringAt(object, "name", where, false);
  fault.object = StringAt(object, "object", where, false);
  fault.method = StringAt(object, "method", where, false);
  if (object.contains("method") && (fault.call != HostCall::Get || (!EqualsIgnoringCase(fault.method, L"GetSD") &&
                                                                    !EqualsIgnoringCase(fault.method, L"SetSD"))))
    throw FileFault{where + ": \"method\" is \"GetSD\" or \"SetSD\", and only for a Get fault"};
  if (object.contains("status")) {
    fault.status = StatusAt(object["status"], where);
    if (fault.status >= 0) throw FileFault{where + ": \"status\" must be a failure status"};
  }
  if (object.contains("returnValue")) {
    const Json& value = object["returnValue"];
    if (!value.is_number_integer() || value.get<long long>() < INT32_MIN || value.get<long long>() > UINT32_MAX)
      throw FileFault{where + ": \"returnValue\" must be a 32-bit number"};
    fault.returnValue = static_cast<LONG>(static_cast<std::uint32_t>(value.get<long long>()));
  }
  if (object.contains("sd")) {
    std::wstring shape = StringAt(object, "sd", where, true);
    bool known = false;
    for (const SdShapeName& candidate : kSdShapes)
      if (Utf8(shape) == candidate.name) fault.sdShape = candidate.shape, known = true;
    if (!known) throw FileFault{where + ": unknown \"sd\" shape \"" + Utf8(shape) + "\""};
  }
  if (fault.status == S_OK && fault.returnValue == 0 && fault.sdShape == SdShape::ByteArray)
    throw FileFault{where + ": the fault needs a \"status\", a \"returnValue\" or an \"sd\" shape"};
  if (fault.call == HostCall::SafeArrayAccessData && fault.status == S_OK)
    throw FileFault{where + ": a SafeArrayAccessData fault needs a \"status\""};
  return fault;
}

void ReportHostFault(const std::filesystem::path& path, const std::string& fault) {
  std::fprintf(stderr, "Tessarwick: host file %s: %s\n", path.c_str(), fault.c_str());
  std::fflush(stderr);
}

timespec Now() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

HostFileVersion VersionOf(const struct stat& status) {
  HostFileVersion version;
  version.device = status.st_dev;
  version.inode = status.st_ino;
  version.size = status.st_size;
  version.modified = status.st_mtim;
  version.changed = status.st_ctim;
  return version;
}

long long Nanoseconds(const timespec& time) {
  return static_cast<long long>(time.tv_sec) * 1'000'000'000LL + time.tv_nsec;
}

std::wstring UpperCased(std::wstring_view text) {
  std::wstring folded(text);
  for (wchar_t& c : folded) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return folded;
}

// The last version of the host file this process read: its bytes, and what they gave.
struct CachedFile {
  bool valid = false;
  std::filesystem::path path;
  HostFileVersion version;
  timespec readAt{};  // taken before the file was opened
  std::string text;
  std::shared_ptr<const HostSnapshot> snapshot;  // null when the text is no host file
  std::string fault;                             // why, then
};

// The threads of a process share the one copy.
struct HostCache {
  std::mutex mutex;
  CachedFile file;
};

HostCache& TheCache() {
  static HostCache cache;
  return cache;
}

std::shared_ptr<const HostSnapshot> DefaultSnapshot() {
  static const std::shared_ptr<const HostSnapshot> snapshot = std::make_shared<const HostSnapshot>(DefaultHostState());
  return snapshot;
}

// What a look at the host file gave: the state, or why there is none.
struct LookResult {
  std::shared_ptr<const HostSnapshot> snapshot;
  std::string fault;
};

// The file's current state. The process's parsed copy is used as it is when the file still shows
// the version it was read at and that version is settled; otherwise (and always when
// `readBytes` is set) the bytes are read again, and parsed again only when they differ from those
// of the copy. A parse that fails is kept as well, so that the same fault is reported by each call.
LookResult LookAtHostFile(const std::filesystem::path& path, bool readBytes) {
  HostCache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  CachedFile& cached = cache.file;
  if (!readBytes && cached.valid && cached.path == path && VersionIsSettled(cached.version, cached.readAt)) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && VersionOf(status) == cached.version)
      return {cached.snapshot, cached.fault};
  }

  const timespec readAt = Now();
  int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    if (errno == ENOENT) return {DefaultSnapshot(), {}};
    return {nullptr, std::string("cannot be read: ") + std::strerror(errno)};
  }
  struct stat status {};
  std::string text;
  bool ok = ::fstat(descriptor, &status) == 0;
  char buffer[65536];
  while (ok) {
    ssize_t count = ::read(descriptor, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      ok = count == 0;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(count));
  }
  int savedErrno = errno;
  ::close(descriptor);
  if (!ok) return {nullptr, std::string("cannot be read: ") + std::strerror(savedErrno)};

  if (!cached.valid || cached.path != path || cached.text != text) {
    HostState state;
    std::string fault;
    cached.snapshot =
        HostStateFromJson(text, state, fault) ? std::make_shared<const HostSnapshot>(std::move(state)) : nullptr;
    cached.fault = cached.snapshot ? std::string() : fault;
    cached.text = std::move(text);
    cached.path = path;
  }
  cached.valid = true;
  cached.version = VersionOf(status);
  cached.readAt = readAt;
  return {cached.snapshot, cached.fault};
}

// After a write of this process: the state written is the file's state. Its version is new, so
// the next call reads the bytes once more before it trusts the copy.
void RememberWrite(const std::filesystem::path& path, const HostFileVersion& version, const timespec& writtenAt,
                   std::string text, std::shared_ptr<const HostSnapshot> snapshot) {
  HostCache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  CachedFile& cached = cache.file;
  cached.valid = true;
  cached.path = path;
  cached.version = version;
  cached.readAt = writtenAt;
  cached.text = std::move(text);
  cached.snapshot = std::move(snapshot);
  cached.fault.clear();
}

bool WriteAll(int descriptor, const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    ssize_t count = ::write(descriptor, text.data() + written, text.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    written += static_cast<std::size_t>(count);
  }
  return true;
}

// Writes the whole text to a temporary file beside the host file, flushes it to the disk and
// renames it over the host file, so that a reader sees the old state or the new one, never a part.
// `written` is the version the file shows afterwards.
bool ReplaceFile(const std::filesystem::path& path, const std::string& text, std::string& fault,
                 HostFileVersion& written) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temporary;
  int descriptor = -1;
  // A command killed between creating and renaming its file leaves it behind under its process
  // id, which a later command may be given again: such a name is passed over, not reused.
  for (int attempt = 0; attempt < 1000 && descriptor < 0; ++attempt) {
    temporary = path;
    temporary += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor < 0 && errno != EEXIST) break;
  }
  if (descriptor < 0) {
    fault = std::string("cannot be written: ") + std::strerror(errno);
    return false;
  }
  bool ok = WriteAll(descriptor, text) && ::fsync(descriptor) == 0;
  int savedErrno = errno;
  ok = (::close(descriptor) == 0) && ok;
  if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
    savedErrno = errno;
    ok = false;
  }
  if (!ok) {
    fault = std::string("cannot be written: ") + std::strerror(savedErrno);
    ::unlink(temporary.c_str());
    return false;
  }
  if (path.has_parent_path()) {
    int directory = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
      ::fsync(directory);
      ::close(directory);
    }
  }
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) written = VersionOf(status);
  return true;
}

// The host's lock is a separate file: the host file itself is replaced by every write, so a
// lock on it would not exclude a writer that opened the new one.
class HostLock {
 public:
  explicit HostLock(const std::filesystem::path& path) {
    std::filesystem::path lockPath = path;
    lockPath += ".lock";
    descriptor_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor_ < 0) {
      fault_ = std::string("cannot be locked: ") + std::strerror(errno);
      return;
    }
    while (::flock(descriptor_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      fault_ = std::string("cannot be locked: ") + std::strerror(errno);
      ::close(descriptor_);
      descriptor_ = -1;
      return;
    }
  }
  HostLock(const HostLock&) = delete;
  HostLock& operator=(const HostLock&) = delete;
  ~HostLock() {
    if (descriptor_ >= 0) {
      ::flock(descriptor_, LOCK_UN);
      ::close(descriptor_);
    }
  }
  bool Held() const { return descriptor_ >= 0; }
  const std::string& Fault() const { return fault_; }

 private:
  int descriptor_ = -1;
  std::string fault_;
};

}  // namespace

std::string HostStateToJson(const HostState& state) {
  Json root;
  root["tessarwickHost"] = kFormatVersion;
  Json computers = Json::array();
  Json local;
  local["name"] = ".";
  local["namespaces"] = NodeToJson(state.local.root);
  computers.push_back(std::move(local));
  for (const ComputerState& computer : state.remotes) {
    Json remote;
    remote["name"] = Utf8(computer.name);
    remote["namespaces"] = NodeToJson(computer.root);
    computers.push_back(std::move(remote));
  }
  root["computers"] = std::move(computers);
  Json accounts = Json::array();
  for (const AccountEntry& account : state.accounts) accounts.push_back(AccountToJson(account));
  root["accounts"] = std::move(accounts);
  if (!state.faults.empty()) {
    Json faults = Json::array();
    for (const Fault& fault : state.faults) faults.push_back(FaultToJson(fault));
    root["faults"] = std::move(faults);
  }
  if (!state.creationFailures.empty()) {
    Json failures = Json::object();
    for (const CreationFailure& failure : state.creationFailures)
      for (const CreationTargetName& target : kCreationTargets)
        if (target.target == failure.target) failures[target.name] = StatusText(failure.status);
    root["creationFailures"] = std::move(failures);
  }
  return root.dump(2) + "\n";
}

bool HostStateFromJson(const std::string& text, HostState& state, std::string& fault) {
  try {
    Json root = Json::parse(text);
    CheckKeys(root, {"tessarwickHost", "computers", "accounts", "faults", "creationFailures"}, "top level");
    auto version = root.find("tessarwickHost");
    if (version == root.end() || !version->is_number_integer() || version->get<int>() != kFormatVersion)
      throw FileFault{"top level: \"tessarwickHost\" must be 1"};

    HostState result = DefaultHostState();
    result.remotes.clear();
    bool localSeen = false;
    if (auto computers = root.find("computers"); computers != root.end()) {
      if (!computers->is_array()) throw FileFault{"\"computers\" must be an array"};
      for (std::size_t i = 0; i < computers->size(); ++i) {
        const Json& object = (*computers)[i];
        const std::string where = "computers[" + std::to_string(i) + "]";
        CheckKeys(object, {"name", "namespaces"}, where);
        ComputerState computer;
        computer.name = StringAt(object, "name", where, true);
        if (computer.name.empty()) throw FileFault{where + ": a computer needs a name (\".\" for the local one)"};
        if (auto namespaces = object.find("namespaces"); namespaces != object.end()) {
          computer.root = NodeFromJson(*namespaces, nullptr, where + " namespace");
        } else {
          computer.root = DefaultNamespaceTree();
        }
        bool local = computer.name == L"." || EqualsIgnoringCase(computer.name, LocalComputerName());
        bool duplicate = local ? localSeen : false;
        for (const ComputerState& other : result.remotes)
          duplicate = duplicate || EqualsIgnoringCase(other.name, computer.name);
        if (duplicate) throw FileFault{where + ": the computer \"" + Utf8(computer.name) + "\" is described twice"};
        if (local) {
          localSeen = true;
          computer.name.clear();
          result.local = std::move(computer);
        } else {
          result.remotes.push_back(std::move(computer));
        }
      }
    }
    if (auto accounts = root.find("accounts"); accounts != root.end()) {
      if (!accounts->is_array()) throw FileFault{"\"accounts\" must be an array"};
      result.accounts.clear();
      for (std::size_t i = 0; i < accounts->size(); ++i)
        result.accounts.push_back(AccountFromJson((*accounts)[i], "accounts[" + std::to_string(i) + "]"));
    }
    if (auto faults = root.find("faults"); faults != root.end()) {
      if (!faults->is_array()) throw FileFault{"\"faults\" must be an array"};
      for (std::size_t i = 0; i < faults->size(); ++i)
        result.faults.push_back(FaultFromJson((*faults)[i], "faults[" + std::to_string(i) + "]"));
    }
    if (auto failures = root.find("creationFailures"); failures != root.end()) {
      CheckKeys(*failures, {"WbemLocator", "WbemContext"}, "creationFailures");
      for (const CreationTargetName& target : kCreationTargets)
        if (failures->contains(target.name)) {
          HRESULT status = StatusAt((*failures)[target.name], std::string("creationFailures ") + target.name);
          if (status >= 0)
            throw FileFault{std::string("creationFailures ") + target.name + ": must be a failure status"};
          result.creationFailures.push_back({target.target, status});
        }
    }
    state = std::move(result);
    return true;
  } catch (const Json::parse_error& error) {
    // The library's text starts with its own exception tag; the reader needs only the position.
    std::string what = error.what();
    std::size_t tagEnd = what.find("] ");
    fault = "not valid JSON: " + (tagEnd == std::string::npos ? what : what.substr(tagEnd + 2));
  } catch (const Json::exception& error) {
    fault = std::string("unexpected content: ") + error.what();
  } catch (const FileFault& error) {
    fault = error.text;
  }
  return false;
}

bool operator==(const HostFileVersion& left, const HostFileVersion& right) {
  return left.device == right.device && left.inode == right.inode && left.size == right.size &&
         Nanoseconds(left.modified) == Nanoseconds(right.modified) &&
         Nanoseconds(left.changed) == Nanoseconds(right.changed);
}

bool VersionIsSettled(const HostFileVersion& version, const timespec& readAt) {
  // The kernel stamps files from its tick clock (a few milliseconds, at most ten); a file system
  // that keeps whole seconds, or two seconds (FAT), leaves the nanoseconds zero.
  const bool wholeSeconds = version.modified.tv_nsec == 0 && version.changed.tv_nsec == 0;
  const long long margin = wholeSeconds ? 3'000'000'000LL : 50'000'000LL;
  const long long settledBefore = Nanoseconds(readAt) - margin;
  return Nanoseconds(version.modified) < settledBefore && Nanoseconds(version.changed) < settledBefore;
}

HostSnapshot::HostSnapshot(HostState state) : state_(std::move(state)) {
  auto index = [this](const ComputerState& computer) {
    auto& paths = namespaces_[&computer];
    struct Pending {
      const NamespaceNode* node;
      std::wstring key;
      std::wstring stored;
    };
    std::vector<Pending> pending{{&computer.root, UpperCased(computer.root.name), computer.root.name}};
    while (!pending.empty()) {
      Pending next = std::move(pending.back());
      pending.pop_back();
      for (const NamespaceNode& child : next.node->children)
        pending.push_back({&child, next.key + L'\\' + UpperCased(child.name), next.stored + L'\\' + child.name});
      paths.emplace(std::move(next.key), FoundNamespace{next.node, std::move(next.stored)});
    }
  };
  index(state_.local);
  for (const ComputerState& remote : state_.remotes) index(remote);
}

const ComputerState* HostSnapshot::FindComputer(std::wstring_view name) const {
  if (name.empty() || name == L"." || EqualsIgnoringCase(name, LocalComputerName())) return &state_.local;
  for (const ComputerState& computer : state_.remotes)
    if (EqualsIgnoringCase(computer.name, name)) return &computer;
  return nullptr;
}

const FoundNamespace* HostSnapshot::FindNamespace(const ComputerState& computer,
                                                  const std::vector<std::wstring>& names) const {
  auto paths = namespaces_.find(&computer);
  if (paths == namespaces_.end() || names.empty()) return nullptr;
  std::wstring key;
  for (const std::wstring& name : names) {
    // A name holding a separator would reach another namespace's key.
    if (name.empty() || name.find_first_of(L"\\/") != std::wstring::npos) return nullptr;
    if (!key.empty()) key += L'\\';
    key += UpperCased(name);
  }
  auto found = paths->second.find(key);
  return found == paths->second.end() ? nullptr : &found->second;
}

std::shared_ptr<const HostSnapshot> ReadHostSnapshot(bool reportFault) {
  const std::filesystem::path path = HostFilePath();
  LookResult current = LookAtHostFile(path, false);
  if (!current.snapshot && reportFault) ReportHostFault(path, current.fault);
  return current.snapshot;
}

HRESULT ChangeHostState(const std::function<HRESULT(HostState& state, bool& changed)>& change) {
  const std::filesystem::path path = HostFilePath();
  std::error_code ignored;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
  HostLock lock(path);
  if (!lock.Held()) {
    ReportHostFault(path, lock.Fault());
    return WBEM_E_FAILED;
  }
  // Inside the lock the bytes are always read again: a change is applied to exactly what the file
  // holds now, whatever its times say.
  LookResult current = LookAtHostFile(path, true);
  if (!current.snapshot) {
    ReportHostFault(path, current.fault);
    return kHostUnreadable;
  }
  HostState state = current.snapshot->State();
  current.snapshot.reset();
  bool changed = false;
  HRESULT result = change(state, changed);
  if (changed) {
    std::string text = HostStateToJson(state);
    const timespec writtenAt = Now();
    std::string fault;
    HostFileVersion written;
    if (!ReplaceFile(path, text, fault, written)) {
      ReportHostFault(path, fault);
      return WBEM_E_FAILED;
    }
    RememberWrite(path, written, writtenAt, std::move(text), std::make_shared<const HostSnapshot>(std::move(state)));
  }
  return result;
}

}  // namespace tessarwick::wmihost
