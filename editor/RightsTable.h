// The WMI namespace rights the command names: the bit, the /M keyword that asks for it and the
// SDDL letters it is written as. The /M parser, the ACE writer and the ACE reader all read this
// one table, in this order.
#pragma once

#include <array>
#include <cstdint>

namespace tessarwick {

struct NamespaceRight {
  std::uint32_t bit;
  const wchar_t* keyword;
  const wchar_t* letters;
};

// FULL_WRITE (0x4) is written as the three SDDL rights LC, SW and RP together ("LCSWRP"): the
// namespace service grants full write only alongside partial and provider write.
inline constexpr std::array<NamespaceRight, 8> kNamespaceRights{{
    {0x1, L"ENABLE_ACCOUNT", L"CC"},
    {0x2, L"EXEC_METHODS", L"DC"},
    {0x4, L"FULL_WRITE", L"LCSWRP"},
    {0x8, L"PARTIAL_WRITE", L"SW"},
    {0x10, L"PROVIDER_WRITE", L"RP"},
    {0x20, L"REMOTE_ENABLE", L"WP"},
    {0x20000, L"READ_SECURITY", L"RC"},
    {0x40000, L"EDIT_SECURITY", L"WD"},
}};

}  // namespace tessarwick
