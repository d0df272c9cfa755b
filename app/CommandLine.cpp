#include "app/CommandLine.h"

#include <cwchar>

#include "editor/RightsTable.h"
#include "platform/Output.h"
#include "platform/Platform.h"

namespace tessarwick {
namespace {

enum class SwitchKind { Usage, Allow, Deny, Computer, Trustee, Namespace, Recurse };

struct SwitchRow {
  wchar_t letter;
  SwitchKind kind;
  bool takesValue;
};

// Letters A to R; the letters without a row (B, E to L, O to Q) print the usage text.
constexpr SwitchRow kSwitches[] = {
    {L'A', SwitchKind::Allow, false},  {L'C', SwitchKind::Computer, true},  {L'D', SwitchKind::Deny, false},
    {L'M', SwitchKind::Trustee, true}, {L'N', SwitchKind::Namespace, true}, {L'R', SwitchKind::Recurse, false},
};

SwitchRow FindSwitch(wchar_t letter) {
  // Only the ASCII letters change case.
  if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - L'a' + L'A');
  for (const SwitchRow& row : kSwitches)
    if (row.letter == letter) return row;
  return {letter, SwitchKind::Usage, false};
}

// "/A:ADD" or "/D:REMOVE": the text after the switch's last colon chooses the change. "ADD" is
// tested first, and both tests are case-sensitive substring searches.
void ApplyTypeKeyword(const wchar_t* switchText, CommandLineSettings& settings) {
  const wchar_t* colon = std::wcsrchr(switchText, L':');
  if (colon == nullptr) return;
  if (std::wcsstr(colon + 1, L"ADD") != nullptr)
    settings.AddRights = true;
  else if (std::wcsstr(colon + 1, L"REMOVE") != nullptr)
    settings.AddRights = false;
}

// "Domain\Account:KEYWORD|KEYWORD": the trustee is the text before the last colon (which may hold
// colons of its own); every keyword found after it ORs its right into the mask, whatever stands
// between them. The mask is never reset, so several /M switches add up.
void ApplyTrusteeValue(wchar_t* value, CommandLineSettings& settings) {
  settings.Trustee = value;
  wchar_t* colon = std::wcsrchr(value, L':');
  if (colon == nullptr) return;
  *colon = L'\0';
  const wchar_t* rights = colon + 1;
  for (const NamespaceRight& right : kNamespaceRights)
    if (std::wcsstr(rights, right.keyword) != nullptr) settings.AccessMask |= right.bit;
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, wchar_t** argv) {
  ParsedCommandLine parsed;
  CommandLineSettings& settings = parsed.settings;
  if (argc <= 1) return parsed;

  for (int index = 1; index < argc;) {
    wchar_t* argument = argv[index];
    // The first argument that is not a switch, an empty one included, ends parsing.
    if (argument == nullptr || (argument[0] != L'-' && argument[0] != L'/')) break;
    SwitchRow row = FindSwitch(argument[1]);
    if (row.kind == SwitchKind::Usage) {
      parsed.mode = CommandMode::Usage;
      return parsed;
    }
    wchar_t* value = nullptr;
    if (row.takesValue) {
      // A value switch with nothing after it leaves its setting alone; since acting on what was
      // gathered could change a namespace the administrator did not name, the usage text is shown.
      if (index + 1 >= argc) {
        parsed.mode = CommandMode::Usage;
        return parsed;
      }
      value = argv[index + 1];
    }
    switch (row.kind) {
      case SwitchKind::Allow:
        settings.AllowAce = true;
        settings.DenyAce = false;
        ApplyTypeKeyword(argument, settings);
        break;
      case SwitchKind::Deny:
        settings.DenyAce = true;
        settings.AllowAce = false;
        ApplyTypeKeyword(argument, settings);
        break;
      case SwitchKind::Computer:
        settings.Computer = value;
        break;
      case SwitchKind::Namespace:
        settings.Namespace = value;
        break;
      case SwitchKind::Trustee:
        ApplyTrusteeValue(value, settings);
        break;
      case SwitchKind::Recurse:
        settings.IncludeSubNamespaces = true;
        break;
      case SwitchKind::Usage:
        break;
    }
    index += row.takesValue ? 2 : 1;
  }

  if (settings.Trustee == nullptr)
    parsed.mode = CommandMode::View;
  else if (settings.AllowAce || settings.DenyAce)
    parsed.mode = CommandMode::Modify;
  else
    parsed.mode = CommandMode::Usage;
  return parsed;
}

void PrintBanner() {
  // Fixed texts, never taken from the command line or the file's version record.
  const wchar_t programName[40] = L"Tessarwick.exe";
  const wchar_t version[28] = L"Version 1.0";
  WidePrintf(L"\n%s %s %s\n\n", programName, version, L"Copyright (c) 2026 The Tessarwick developers");
}

int RunCommand(int argc, wchar_t** argv, CommandOperations& operations) {
  PrintBanner();
  // The main thread joins the multithreaded apartment for the whole run; a failure is not
  // reported, and COM is never uninitialised.
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);

  ParsedCommandLine parsed = ParseCommandLine(argc, argv);
  const CommandLineSettings& settings = parsed.settings;
  switch (parsed.mode) {
    case CommandMode::Usage:
      PrintUsage();
      break;
    case CommandMode::View: {
      CNamespaceTarget target(WideString(settings.Namespace), settings.IncludeSubNamespaces);
      operations.View(target, WideString(settings.Computer));
      break;
    }
    case CommandMode::Modify: {
      CNamespaceTarget target(WideString(settings.Namespace), settings.IncludeSubNamespaces);
      operations.Modify(target, WideString(settings.Computer), WideString(settings.Trustee), settings.AllowAce,
                        settings.AccessMask, settings.AddRights);
      break;
    }
  }
  return 0;
}

void TargetOperations::View(CNamespaceTarget& target, const WideString& computer) {
  target.ShowNamespaceSecurity(computer);
}

void TargetOperations::Modify(CNamespaceTarget& target, const WideString& computer, const WideString& trustee,
                              bool allowAce, std::uint32_t accessMask, bool addRights) {
  target.ModifyNamespaceSecurity(computer, trustee, allowAce, accessMask, addRights);
}

}  // namespace tessarwick
