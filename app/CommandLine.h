// The switches of the command line and the choice between view and modify mode.
#pragma once

#include <cstdint>

#include "common/NamespaceTarget.h"
#include "common/WideString.h"

namespace tessarwick {

// What the switches set. The strings point into the argument vector itself: nothing is copied,
// and the /M value is cut in place at its last colon. A null pointer is a switch not given.
struct CommandLineSettings {
  const wchar_t* Computer = nullptr;
  const wchar_t* Namespace = nullptr;
  const wchar_t* Trustee = nullptr;
  bool AllowAce = false;
  bool DenyAce = false;
  bool AddRights = true;
  std::uint32_t AccessMask = 0;
  bool IncludeSubNamespaces = false;
};

enum class CommandMode { Usage, View, Modify };

struct ParsedCommandLine {
  CommandMode mode = CommandMode::Usage;
  CommandLineSettings settings;
};

// Reads argv[1..argc-1]; argv[0] is never read. Cuts the /M value in place.
ParsedCommandLine ParseCommandLine(int argc, wchar_t** argv);

// The two operations the entry point can run; the program runs them on a CNamespaceTarget,
// tests put recorders in their place.
class CommandOperations {
 public:
  virtual ~CommandOperations() = default;
  virtual void View(CNamespaceTarget& target, const WideString& computer) = 0;
  virtual void Modify(CNamespaceTarget& target, const WideString& computer, const WideString& trustee, bool allowAce,
                      std::uint32_t accessMask, bool addRights) = 0;
};

class TargetOperations final : public CommandOperations {
 public:
  void View(CNamespaceTarget& target, const WideString& computer) override;
  void Modify(CNamespaceTarget& target, const WideString& computer, const WideString& trustee, bool allowAce,
              std::uint32_t accessMask, bool addRights) override;
};

// The whole run: banner, COM start-up, parsing, then the usage text or one operation.
// Always returns 0, the process's exit code.
int RunCommand(int argc, wchar_t** argv, CommandOperations& operations);

void PrintBanner();
void PrintUsage();

}  // namespace tessarwick
