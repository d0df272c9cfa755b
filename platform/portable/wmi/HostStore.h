// The simulated host's repository: a human-readable JSON file (docs/host-file.md) read afresh by
// every call, and changed only under an exclusive lock on the host, re-read inside the lock and
// replaced atomically, so that concurrent commands that change different namespaces lose nothing.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "platform/portable/wmi/HostModel.h"

namespace tessarwick::wmihost {

// The status of a call that found the host's file unreadable or corrupt: the repository could
// not be initialised.
constexpr HRESULT kHostUnreadable = WBEM_E_INITIALIZATION_FAILURE;

// The host's current state: the file's, or the default content when there is no file. A file
// that cannot be read or parsed gives false, and one diagnostic line on standard error when
// `reportFault` is set.
bool ReadHostState(HostState& state, bool reportFault = true);

// Runs `change` on the current state under the host's exclusive lock. When it reports a change,
// the new state replaces the file atomically (temporary file, flush, rename). Returns the
// result of `change`, or kHostUnreadable / WBEM_E_FAILED (with the diagnostic line) when the
// state cannot be read or written; a file that cannot be read is never overwritten.
HRESULT ChangeHostState(const std::function<HRESULT(HostState& state, bool& changed)>& change);

// The JSON form of a state and back; `fault` describes the first problem found.
std::string HostStateToJson(const HostState& state);
bool HostStateFromJson(const std::string& text, HostState& state, std::string& fault);

}  // namespace tessarwick::wmihost
