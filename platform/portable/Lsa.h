// The local security authority of the stand-in platform: name lookup through LsaOpenPolicy and
// LsaLookupNames2, with the names, types and parameter order of the LSA client API. The accounts
// it knows are the well-known ones, the simulated local computer's and those the simulated
// host's file defines (platform/portable/wmi/).
#pragma once

#include "platform/portable/Sddl.h"

#ifndef NTAPI
#define NTAPI
#endif

// Alias declarations may be repeated, so the SDDL services can name these types as well.
using PSID = void*;
using ACCESS_MASK = DWORD;
using PWSTR = wchar_t*;

// Length and MaximumLength count bytes of UTF-16 text: two per character, whatever the width of
// wchar_t, and no terminating zero.
struct LSA_UNICODE_STRING {
  USHORT Length;
  USHORT MaximumLength;
  PWSTR Buffer;
};
using PLSA_UNICODE_STRING = LSA_UNICODE_STRING*;

using LSA_HANDLE = PVOID;
using PLSA_HANDLE = LSA_HANDLE*;

struct LSA_OBJECT_ATTRIBUTES {
  ULONG Length;
  HANDLE RootDirectory;
  PLSA_UNICODE_STRING ObjectName;
  ULONG Attributes;
  PVOID SecurityDescriptor;
  PVOID SecurityQualityOfService;
};
using PLSA_OBJECT_ATTRIBUTES = LSA_OBJECT_ATTRIBUTES*;

struct LSA_TRUST_INFORMATION {
  LSA_UNICODE_STRING Name;
  PSID Sid;
};
using PLSA_TRUST_INFORMATION = LSA_TRUST_INFORMATION*;

struct LSA_REFERENCED_DOMAIN_LIST {
  ULONG Entries;
  PLSA_TRUST_INFORMATION Domains;
};
using PLSA_REFERENCED_DOMAIN_LIST = LSA_REFERENCED_DOMAIN_LIST*;

enum SID_NAME_USE {
  SidTypeUser = 1,
  SidTypeGroup,
  SidTypeDomain,
  SidTypeAlias,
  SidTypeWellKnownGroup,
  SidTypeDeletedAccount,
  SidTypeInvalid,
  SidTypeUnknown,
  SidTypeComputer,
  SidTypeLabel,
  SidTypeLogonSession
};
using PSID_NAME_USE = SID_NAME_USE*;

struct LSA_TRANSLATED_SID2 {
  SID_NAME_USE Use;
  PSID Sid;
  LONG DomainIndex;
  ULONG Flags;
};
using PLSA_TRANSLATED_SID2 = LSA_TRANSLATED_SID2*;

// Policy access rights and lookup flags.
constexpr ACCESS_MASK POLICY_LOOKUP_NAMES = 0x00000800;
constexpr ULONG LSA_LOOKUP_ISOLATED_AS_LOCAL = 0x80000000;

// A null SystemName (or an empty one) opens the local computer's policy; the attributes must be
// present and are otherwise ignored.
NTSTATUS NTAPI LsaOpenPolicy(PLSA_UNICODE_STRING SystemName, PLSA_OBJECT_ATTRIBUTES ObjectAttributes,
                             ACCESS_MASK DesiredAccess, PLSA_HANDLE PolicyHandle);
// Each of the two results is one block that LsaFreeMemory frees whole, SIDs and names included.
NTSTATUS NTAPI LsaLookupNames2(LSA_HANDLE PolicyHandle, ULONG Flags, ULONG Count, PLSA_UNICODE_STRING Names,
                               PLSA_REFERENCED_DOMAIN_LIST* ReferencedDomains, PLSA_TRANSLATED_SID2* Sids);
ULONG NTAPI LsaNtStatusToWinError(NTSTATUS Status);
NTSTATUS NTAPI LsaClose(LSA_HANDLE ObjectHandle);
NTSTATUS NTAPI LsaFreeMemory(PVOID Buffer);
