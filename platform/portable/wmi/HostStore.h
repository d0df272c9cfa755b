// The simulated host's repository: a human-readable JSON file (docs/host-file.md) whose current
// version every call sees, and which is changed only under an exclusive lock on the host, re-read
// inside the lock and replaced atomically, so that concurrent commands that change different
// namespaces lose nothing. A process keeps the last version it parsed and parses again only when
// the file's identity or version differs, so a call costs the same whatever the tree's size.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/portable/wmi/HostModel.h"

namespace tessarwick::wmihost {

// The status of a call that found the host's file unreadable or corrupt: the repository could
// not be initialised.
constexpr HRESULT kHostUnreadable = WBEM_E_INITIALIZATION_FAILURE;

// A namespace found by its path, and the path as the host stores it ("root\\CIMV2" for "ROOT\\cimv2").
struct FoundNamespace {
  const NamespaceNode* node = nullptr;
  std::wstring storedPath;
};

// One version of the host's state, never changed once made, so that every call that finds the
// file unchanged shares it without copying; with an index of every namespace by its path.
class HostSnapshot {
 public:
  explicit HostSnapshot(HostState state);
  HostSnapshot(const HostSnapshot&) = delete;
  HostSnapshot& operator=(const HostSnapshot&) = delete;

  const HostState& State() const { return state_; }
  // The computer named in a connection ("", "." and the local name give the local one), or null.
  const ComputerState* FindComputer(std::wstring_view name) const;
  // The namespace at the path of names from the root (the first name is the root's), compared
  // without regard to case; null when there is none.
  const FoundNamespace* FindNamespace(const ComputerState& computer, const std::vector<std::wstring>& names) const;

 private:
  HostState state_;
  // Each computer's namespaces by their upper-cased paths.
  std::unordered_map<const ComputerState*, std::unordered_map<std::wstring, FoundNamespace>> namespaces_;
};

// The host's current state: the file's, or the default content when there is no file. A file
// that cannot be read or parsed gives null, and one diagnostic line on standard error when
// `reportFault` is set (on every call that finds it so).
std::shared_ptr<const HostSnapshot> ReadHostSnapshot(bool reportFault = true);

// What identifies one version of the host file: a write in place changes the size, the
// modification time or the change time; a replacement gives another inode and change time.
struct HostFileVersion {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};
};
bool operator==(const HostFileVersion& left, const HostFileVersion& right);

// Whether a version whose content was read at `readAt` may be taken as unchanged while the file
// still shows the same version. A file's times have the granularity of the clock that stamps
// them, so a second write within the same tick as the first, of the same size, shows the same
// version: only once the file's times lie clearly before the moment it was read does a later
// write necessarily show later ones. Until then every call reads the file's bytes again.
bool VersionIsSettled(const HostFileVersion& version, const timespec& readAt);

// Runs `change` on the current state under the host's exclusive lock: the file is looked at again
// inside the lock (its bytes read and compared, unless it shows a settled version the process has
// already parsed), and `change` works on a copy of that state. When it reports a change,
// the new state replaces the file atomically (temporary file, flush, rename). Returns the
// result of `change`, or kHostUnreadable / WBEM_E_FAILED (with the diagnostic line) when the
// state cannot be read or written; a file that cannot be read is never overwritten.
HRESULT ChangeHostState(const std::function<HRESULT(HostState& state, bool& changed)>& change);

// The JSON form of a state and back; `fault` describes the first problem found.
std::string HostStateToJson(const HostState& state);
bool HostStateFromJson(const std::string& text, HostState& state, std::string& fault);

}  // namespace tessarwick::wmihost
