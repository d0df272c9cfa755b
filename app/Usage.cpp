#include "app/CommandLine.h"

#include "platform/Output.h"

namespace tessarwick {
namespace {

// Each piece is written with its own call. None holds a conversion, so each prints literally.
// The keywords are listed in the order the /M parser documents them, not in bit order.
// One piece a line, as the administrator reads them.
// clang-format off
constexpr const wchar_t* kUsagePieces[] = {
    L"To modify WMI Namespace security:-\n",
    L"Usage: Tessarwick /C <Computer> /A:<Type> or /D:<Type> /N <Namespace> /M <Trustee>:<AccessMask> /R\n",
    L"Where /C = Computer to modify permissions on\n",
    L"Where /A:Type = Access Allowed and /D:Type = Access Denied Ace type\n",
    L"Where Type can be either ADD OR REMOVE, will default to ADD\n",
    L"Where /N = WMI namespace to target\n",
    L"Where /M = Domain\\Account:AccessMask\n",
    L"Where Access Mask can be a combination of the following delimited by |\n",
    L"EXEC_METHODS - Allows the execution of methods\n",
    L"FULL_WRITE - Permissions to write to classes and instances\n",
    L"PARTIAL_WRITE - Permissions to write data to instances only, not classes\n",
    L"PROVIDER_WRITE - Allows writing classes and instances to providers\n",
    L"ENABLE_ACCOUNT - Enables the account and grants the user read permissions\n",
    L"REMOTE_ENABLE - Allows a user account to remotely perform operations\n",
    L"READ_SECURITY - Permissions to read the namespace security descriptor\n",
    L"EDIT_SECURITY - Permissions to change the discretionary access control list (DACL) on the namespace\n",
    L"Where /R = Applies permissions to this namespace and sub-namespaces\n\n",
    L"Example: Tessarwick /C WKS-0042 /A:ADD /N Root\\CCM /M CONTOSO\\svc-inventory:EXEC_METHODS|REMOTE_ENABLE /R\n",
    L"Gives execute methods and remote access to the User Account CONTOSO\\svc-inventory for the Root\\CCM WMI namespace and sub-namespaces on computer WKS-0042\n\n",
    L"To view WMI Namespace security:-\n",
    L"Usage: Tessarwick /C <Computer> /N <Namespace> /R\n",
    L"Where /C = Computer to view permission on\n",
    L"Where /N = WMI namespace to target\n",
    L"Where /R = View permissions to this namespace and sub-namespaces\n",
};
// clang-format on
static_assert(std::size(kUsagePieces) == 24);

}  // namespace

void PrintUsage() {
  for (const wchar_t* piece : kUsagePieces) WidePrintf(piece);
}

}  // namespace tessarwick
