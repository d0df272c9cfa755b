// The namespace tree of the simulated host and the service's rules for namespace descriptors.
#include "platform/portable/wmi/HostModel.h"

#include <cwctype>

namespace tessarwick::wmihost {

namespace {

constexpr std::uint8_t kObjectInherit = OBJECT_INHERIT_ACE;
constexpr std::uint8_t kContainerInherit = CONTAINER_INHERIT_ACE;
constexpr std::uint8_t kNoPropagate = NO_PROPAGATE_INHERIT_ACE;
constexpr std::uint8_t kInheritOnly = INHERIT_ONLY_ACE;
constexpr std::uint8_t kInherited = INHERITED_ACE;
constexpr std::uint8_t kNamespaceAceFlags =
    kObjectInherit | kContainerInherit | kNoPropagate | kInheritOnly | kInherited;

// Full write is only granted together with the two lesser write rights.
constexpr std::uint32_t kFullWrite = WBEM_FULL_WRITE_REP;
constexpr std::uint32_t kLesserWrites = WBEM_PARTIAL_WRITE_REP | WBEM_WRITE_PROVIDER;

// The control bits that describe a descriptor's SACL rather than its DACL.
constexpr std::uint16_t kSaclControl =
    SE_SACL_PRESENT | SE_SACL_DEFAULTED | SE_SACL_AUTO_INHERIT_REQ | SE_SACL_AUTO_INHERITED | SE_SACL_PROTECTED;

Sid MakeSid(std::uint64_t authority, std::vector<std::uint32_t> subAuthorities) {
  Sid sid;
  sid.authority = authority;
  sid.subAuthorities = std::move(subAuthorities);
  return sid;
}

const Sid kBuiltinAdministrators = MakeSid(5, {32, 544});

// root's descriptor on a fresh installation:
// O:BAG:BAD:(A;CI;CCDCLCSWRPWPRCWD;;;BA)(A;CI;CCDCRP;;;NS)(A;CI;CCDCRP;;;LS)(A;CI;CCDCRP;;;AU)
SecurityDescriptor DefaultRootDescriptor() {
  struct Entry {
    std::uint32_t mask;
    Sid sid;
  };
  const Entry entries[] = {
      {0x6003F, kBuiltinAdministrators},  // CC DC LC SW RP WP RC WD
      {0x13, MakeSid(5, {20})},           // CC DC RP for NETWORK SERVICE
      {0x13, MakeSid(5, {19})},           // CC DC RP for LOCAL SERVICE
      {0x13, MakeSid(5, {11})},           // CC DC RP for Authenticated Users
  };
  SecurityDescriptor descriptor;
  descriptor.control = SE_DACL_PRESENT;
  descriptor.owner = kBuiltinAdministrators;
  descriptor.group = kBuiltinAdministrators;
  descriptor.dacl = Acl{};
  for (const Entry& entry : entries) {
    Ace ace;
    ace.type = ACCESS_ALLOWED_ACE_TYPE;
    ace.flags = kContainerInherit;
    ace.mask = entry.mask;
    ace.sid = entry.sid;
    descriptor.dacl->entries.push_back(ace);
  }
  return descriptor;
}

struct DefaultNamespace {
  const wchar_t* name;
  std::vector<const wchar_t*> children;
};

bool IsProtected(const SecurityDescriptor& descriptor) { return (descriptor.control & SE_DACL_PROTECTED) != 0; }

void GiveInheritance(NamespaceNode& child, const NamespaceNode& parent) {
  std::vector<Ace> entries;
  if (child.descriptor.dacl)
    for (const Ace& ace : child.descriptor.dacl->entries)
      if ((ace.flags & kInherited) == 0) entries.push_back(ace);
  if (!IsProtected(child.descriptor)) {
    std::vector<Ace> inherited = InheritedEntries(parent.descriptor);
    entries.insert(entries.end(), inherited.begin(), inherited.end());
  }
  if (!child.descriptor.dacl) {
    child.descriptor.dacl = Acl{};
    child.descriptor.control |= SE_DACL_PRESENT;
  }
  child.descriptor.dacl->entries = std::move(entries);
}

}  // namespace

bool EqualsIgnoringCase(std::wstring_view left, std::wstring_view right) {
  if (left.size() != right.size()) return false;
  for (std::size_t i = 0; i < left.size(); ++i)
    if (std::towupper(static_cast<wint_t>(left[i])) != std::towupper(static_cast<wint_t>(right[i]))) return false;
  return true;
}

Sid LocalAccountSid(std::uint32_t rid) {
  Sid sid = portable::LocalMachineSid();
  sid.subAuthorities.push_back(rid);
  return sid;
}

NamespaceNode DefaultNamespaceTree() {
  // The namespaces of a fresh installation, in the order its enumeration gives them.
  const DefaultNamespace children[] = {
      {L"subscription", {}},
      {L"DEFAULT", {}},
      {L"CIMV2", {L"Security", L"TerminalServices"}},
      {L"Cli", {}},
      {L"SECURITY", {}},
      {L"WMI", {}},
      {L"Interop", {}},
      {L"CCM", {L"Policy", L"SoftwareUpdates"}},
  };
  NamespaceNode root;
  root.name = L"root";
  root.descriptor = DefaultRootDescriptor();
  for (const DefaultNamespace& child : children) {
    NamespaceNode node = MakeChildNamespace(root, child.name);
    for (const wchar_t* grandchild : child.children) node.children.push_back(MakeChildNamespace(node, grandchild));
    root.children.push_back(std::move(node));
  }
  return root;
}

HostState DefaultHostState() {
  HostState state;
  state.local.root = DefaultNamespaceTree();
  state.accounts = {
      {L"", L"Administrator", LocalAccountSid(500), SidTypeUser},
      {L"", L"Guest", LocalAccountSid(501), SidTypeUser},
      {L"", L"operator", LocalAccountSid(1001), SidTypeUser},
  };
  return state;
}

bool SplitNamespacePath(std::wstring_view path, std::vector<std::wstring>& names) {
  names.clear();
  std::wstring current;
  for (wchar_t c : path) {
    if (c == L'\\' || c == L'/') {
      if (current.empty()) return false;
      names.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (current.empty()) return false;
  names.push_back(std::move(current));
  return true;
}

std::wstring JoinNamespacePath(const std::vector<std::wstring>& names) {
  std::wstring path;
  for (const std::wstring& name : names) {
    if (!path.empty()) path += L'\\';
    path += name;
  }
  return path;
}

ComputerState* FindComputer(HostState& state, std::wstring_view name) {
  if (name.empty() || name == L"." || EqualsIgnoringCase(name, LocalComputerName())) return &state.local;
  for (ComputerState& computer : state.remotes)
    if (EqualsIgnoringCase(computer.name, name)) return &computer;
  return nullptr;
}

NamespaceNode* FindNamespace(ComputerState& computer, const std::vector<std::wstring>& names) {
  if (names.empty() || !EqualsIgnoringCase(names.front(), computer.root.name)) return nullptr;
  NamespaceNode* node = &computer.root;
  for (std::size_t i = 1; i < names.size(); ++i) {
    NamespaceNode* next = nullptr;
    for (NamespaceNode& child : node->children)
      if (EqualsIgnoringCase(child.name, names[i])) {
        next = &child;
        break;
      }
    if (next == nullptr) return nullptr;
    node = next;
  }
  return node;
}

std::vector<Ace> InheritedEntries(const SecurityDescriptor& parent) {
  std::vector<Ace> inherited;
  if (!parent.dacl) return inherited;
  for (const Ace& ace : parent.dacl->entries) {
    if ((ace.flags & kContainerInherit) == 0) continue;
    Ace copy = ace;
    if (ace.flags & kNoPropagate)
      copy.flags =
          static_cast<std::uint8_t>(ace.flags & ~(kObjectInherit | kContainerInherit | kNoPropagate | kInheritOnly));
    else
      copy.flags = static_cast<std::uint8_t>(ace.flags & ~kInheritOnly);
    copy.flags |= kInherited;
    inherited.push_back(std::move(copy));
  }
  return inherited;
}

void RecomputeInheritance(NamespaceNode& node) {
  for (NamespaceNode& child : node.children) {
    GiveInheritance(child, node);
    RecomputeInheritance(child);
  }
}

NamespaceNode MakeChildNamespace(const NamespaceNode& parent, std::wstring name) {
  NamespaceNode child;
  child.name = std::move(name);
  child.descriptor.control = SE_DACL_PRESENT;
  child.descriptor.owner = parent.descriptor.owner;
  child.descriptor.group = parent.descriptor.group;
  child.descriptor.dacl = Acl{};
  GiveInheritance(child, parent);
  return child;
}

HRESULT CheckNamespaceDescriptor(const BYTE* bytes, std::size_t length, SecurityDescriptor& parsed) {
  DWORD error = 0;
  if (bytes == nullptr || !portable::ParseSelfRelative(bytes, length, parsed, error)) return WBEM_E_INVALID_OBJECT;
  if (!parsed.owner || !parsed.group || !parsed.dacl) return WBEM_E_INVALID_PARAMETER;
  for (const Ace& ace : parsed.dacl->entries) {
    if (ace.type != ACCESS_ALLOWED_ACE_TYPE && ace.type != ACCESS_DENIED_ACE_TYPE) return WBEM_E_INVALID_PARAMETER;
    if (ace.flags & ~kNamespaceAceFlags) return WBEM_E_INVALID_PARAMETER;
    if ((ace.flags & kInheritOnly) && !(ace.flags & kContainerInherit)) return WBEM_E_INVALID_PARAMETER;
    if (ace.mask & ~kNamespaceRights) return WBEM_E_INVALID_PARAMETER;
    if ((ace.mask & kFullWrite) && (ace.mask & kLesserWrites) != kLesserWrites) return WBEM_E_INVALID_PARAMETER;
  }
  return S_OK;
}

void StoreNamespaceDescriptor(NamespaceNode& node, const NamespaceNode* parent, const SecurityDescriptor& written) {
  SecurityDescriptor stored;
  // The service keeps whether the written DACL is protected or auto-inherited; the SACL and the
  // inheritance requests of the written descriptor are not kept. SetSD does not set a SACL, so
  // the namespace's own SACL, with its control bits, stays as it was.
  stored.control =
      static_cast<std::uint16_t>(SE_DACL_PRESENT | (written.control & (SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED)) |
                                 (node.descriptor.control & kSaclControl));
  stored.sacl = node.descriptor.sacl;
  stored.owner = written.owner;
  stored.group = written.group;
  stored.dacl = Acl{};
  if (written.dacl) {
    stored.dacl->revision = written.dacl->revision;
    for (const Ace& ace : written.dacl->entries)
      if ((ace.flags & kInherited) == 0) stored.dacl->entries.push_back(ace);
  }
  node.descriptor = std::move(stored);
  if (parent != nullptr) GiveInheritance(node, *parent);
  RecomputeInheritance(node);
}

}  // namespace tessarwick::wmihost
