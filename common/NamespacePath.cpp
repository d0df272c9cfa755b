#include "common/NamespacePath.h"

namespace tessarwick {

WideString BuildNamespacePath(const WideString& computer, const WideString& nameSpace) {
  if (computer.IsAbsent() || computer.IsEmpty()) return nameSpace;
  WideStringBuilder path;
  path.Append(L"\\\\");
  path.Append(computer);
  path.Append(L"\\");
  path.Append(nameSpace);
  return path.Build();
}

}  // namespace tessarwick
