#include "common/NamespaceTarget.h"

namespace tessarwick {

void CNamespaceTarget::ShowNamespaceSecurity(WideString) {}
void CNamespaceTarget::WalkNamespaceSecurity(WideString) {}

}  // namespace tessarwick
