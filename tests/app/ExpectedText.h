// The banner and usage text as an administrator sees them, written out independently of the code
// that prints them.
#pragma once

namespace tessarwick::testing {

inline constexpr const char kExpectedBanner[] =
    "\nTessarwick.exe Version 1.0 Copyright (c) 2026 The Tessarwick developers\n\n";

inline constexpr const char kExpectedUsage[] = R"(To modify WMI Namespace security:-
Usage: Tessarwick /C <Computer> /A:<Type> or /D:<Type> /N <Namespace> /M <Trustee>:<AccessMask> /R
Where /C = Computer to modify permissions on
Where /A:Type = Access Allowed and /D:Type = Access Denied Ace type
Where Type can be either ADD OR REMOVE, will default to ADD
Where /N = WMI namespace to target
Where /M = Domain\Account:AccessMask
Where Access Mask can be a combination of the following delimited by |
EXEC_METHODS - Allows the execution of methods
FULL_WRITE - Permissions to write to classes and instances
PARTIAL_WRITE - Permissions to write data to instances only, not classes
PROVIDER_WRITE - Allows writing classes and instances to providers
ENABLE_ACCOUNT - Enables the account and grants the user read permissions
REMOTE_ENABLE - Allows a user account to remotely perform operations
READ_SECURITY - Permissions to read the namespace security descriptor
EDIT_SECURITY - Permissions to change the discretionary access control list (DACL) on the namespace
Where /R = Applies permissions to this namespace and sub-namespaces

Example: Tessarwick /C WKS-0042 /A:ADD /N Root\CCM /M CONTOSO\svc-inventory:EXEC_METHODS|REMOTE_ENABLE /R
Gives execute methods and remote access to the User Account CONTOSO\svc-inventory for the Root\CCM WMI namespace and sub-namespaces on computer WKS-0042

To view WMI Namespace security:-
Usage: Tessarwick /C <Computer> /N <Namespace> /R
Where /C = Computer to view permission on
Where /N = WMI namespace to target
Where /R = View permissions to this namespace and sub-namespaces
)";

}  // namespace tessarwick::testing
