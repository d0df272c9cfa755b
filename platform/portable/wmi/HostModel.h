// The simulated WMI host's state: computers with their namespace trees and descriptors, the
// accounts the LSA lookup knows beyond the well-known ones, and the faults the host file asks
// for; with the rules by which the service inherits and validates namespace descriptors.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/portable/security/Descriptor.h"
#include "platform/portable/wmi/HostControl.h"

namespace tessarwick::wmihost {

using portable::Ace;
using portable::Acl;
using portable::SecurityDescriptor;
using portable::Sid;

struct NamespaceNode {
  std::wstring name;
  SecurityDescriptor descriptor;  // explicit entries first, inherited (ID) entries after; its own SACL, if any
  // The descriptor as the host file spelt it, if it gave one. While the descriptor is still what
  // this text says, the file keeps the text as it was, so a hand-written line survives every
  // write elsewhere in the host byte for byte.
  std::wstring fileText;
  std::vector<NamespaceNode> children;  // in enumeration order
};

struct ComputerState {
  std::wstring name;  // empty for the local computer
  NamespaceNode root;
};

struct AccountEntry {
  std::wstring domain;  // empty for an account of the local computer
  std::wstring name;
  Sid sid;
  SID_NAME_USE use = SidTypeUser;
};

enum class CreationTarget { Locator, Context };
struct CreationFailure {
  CreationTarget target = CreationTarget::Locator;
  HRESULT status = S_OK;
};

struct HostState {
  ComputerState local;
  std::vector<ComputerState> remotes;
  std::vector<AccountEntry> accounts;
  std::vector<Fault> faults;
  std::vector<CreationFailure> creationFailures;
};

// The content of a fresh installation: root, its children in enumeration order, the inherited
// descriptors, and the local accounts Administrator, Guest and operator.
HostState DefaultHostState();
// root and its default children with the default descriptors.
NamespaceNode DefaultNamespaceTree();

// Case-insensitive comparison, as Windows compares namespace, computer and account names.
bool EqualsIgnoringCase(std::wstring_view left, std::wstring_view right);

// A namespace path split into its names; false when a name is empty.
bool SplitNamespacePath(std::wstring_view path, std::vector<std::wstring>& names);
std::wstring JoinNamespacePath(const std::vector<std::wstring>& names);

// The computer named in a connection ("", "." and the local name give the local one), or null.
ComputerState* FindComputer(HostState& state, std::wstring_view name);
// The node at the path of names from the root (the first name is the root's), or null.
NamespaceNode* FindNamespace(ComputerState& computer, const std::vector<std::wstring>& names);

// The entries of a parent's DACL that a sub-namespace inherits: container-inherit entries, marked
// ID; NP ones lose their inheritance flags and stop there, IO ones apply below the parent.
std::vector<Ace> InheritedEntries(const SecurityDescriptor& parent);
// Gives every namespace below `node` its explicit entries followed by what it inherits from its
// parent; a protected DACL inherits nothing.
void RecomputeInheritance(NamespaceNode& node);
// A new sub-namespace: the parent's owner and group, no explicit entries, the inherited ones.
NamespaceNode MakeChildNamespace(const NamespaceNode& parent, std::wstring name);

// The ReturnValue with which SetSD refuses a descriptor: S_OK when it may be stored,
// WBEM_E_INVALID_OBJECT for bytes that are not a self-relative descriptor, and
// WBEM_E_INVALID_PARAMETER for a descriptor the service does not accept on a namespace.
HRESULT CheckNamespaceDescriptor(const BYTE* bytes, std::size_t length, SecurityDescriptor& parsed);
// Stores a checked descriptor on the node the way the service does: owner, group and the
// non-inherited DACL entries as written, the inherited entries recomputed from the parent (null
// for root) and then down the subtree. The written SACL is ignored; the namespace keeps the SACL
// it already had.
void StoreNamespaceDescriptor(NamespaceNode& node, const NamespaceNode* parent, const SecurityDescriptor& written);

// The namespace rights an entry may carry, and the inheritance flags an entry may carry.
constexpr std::uint32_t kNamespaceRights = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x20 | 0x40 | 0x80 | 0x20000 | 0x40000;

// Accounts of the local computer: RIDs below its machine SID.
Sid LocalAccountSid(std::uint32_t rid);

}  // namespace tessarwick::wmihost
