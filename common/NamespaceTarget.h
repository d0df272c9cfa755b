// The namespace that the command works on, with the /R setting. The view operations are defined
// in viewer/, the modify operation and its text helpers in editor/.
#pragma once

#include <cstdint>

#include "common/WideString.h"

namespace tessarwick {

class CNamespaceTarget {
 public:
  CNamespaceTarget(const WideString& nameSpace, bool includeSubNamespaces)
      : Namespace(nameSpace), IncludeSubNamespaces(includeSubNamespaces) {}

  // View mode: prints the descriptor of the namespace, and with /R of every namespace below it.
  void ShowNamespaceSecurity(WideString computer);
  void WalkNamespaceSecurity(WideString path);

  // Modify mode: adds an entry for the trustee, or removes rights from the trustee's entries.
  void ModifyNamespaceSecurity(WideString computer, WideString trustee, bool allowAce, std::uint32_t accessMask,
                               bool addRights);

  // The SDDL text of one entry, without parentheses.
  WideString BuildAceString(const WideString& sidText, bool allowAce, std::uint32_t accessMask) const;
  // The SDDL text with the rights in the mask taken away from the trustee's entries of the type.
  WideString RemoveTrusteeRights(const WideString& sidText, bool allowAce, std::uint32_t accessMask,
                                 const WideString& sddl) const;

  // The /N namespace; replaced by the full path when a computer is given.
  WideString Namespace;
  // /R: walk sub-namespaces in view mode; the inheritance flag of written entries in modify mode.
  bool IncludeSubNamespaces;
};

}  // namespace tessarwick
