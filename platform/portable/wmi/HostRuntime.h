// What the host's COM objects share at run time: where an object came from (for its faults), the
// faults in force, and the records of what the host was sent.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/portable/wmi/HostControl.h"
#include "platform/portable/wmi/HostModel.h"

namespace tessarwick::wmihost {

// The namespace an object belongs to, and the host file's faults as they were when it was made.
struct Origin {
  std::wstring computer;       // empty for the local computer
  std::wstring namespacePath;  // the names as stored, joined with backslashes
  std::shared_ptr<const std::vector<Fault>> fileFaults;
};

// The first fault, of the file or of this process, that applies to the call; `name` is the
// method or property, `object` the Name of the instance the call is made on, and
// `outParametersOf` the method whose out-parameters it is made on (each may be empty).
std::optional<Fault> FindFault(const Origin& origin, HostCall call, std::wstring_view name = {},
                               std::wstring_view object = {}, std::wstring_view outParametersOf = {});
// The failure the host asks of CoCreateInstance for the class, if any.
std::optional<HRESULT> CreationFailureFor(CreationTarget target, const std::vector<CreationFailure>& fileFailures);

void RecordProxyBlanket(ProxyBlanketRecord record);
void RecordContext(ContextRecord record);
void RecordConnect(ConnectRecord record);

}  // namespace tessarwick::wmihost
