#include "common/NamespaceTarget.h"

namespace tessarwick {

void CNamespaceTarget::ModifyNamespaceSecurity(WideString, WideString, bool, std::uint32_t, bool) {}

}  // namespace tessarwick
