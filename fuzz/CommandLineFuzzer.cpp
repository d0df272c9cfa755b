// Arbitrary argument vectors through the whole run (banner, parsing, the choice of mode), with
// recorders in place of the two operations. Whatever the arguments, the run prints the banner,
// then either the usage text or nothing of its own, and calls at most one operation with
// settings that come from the arguments themselves.
//
// Input layout: arguments separated by a zero byte, so empty arguments and long vectors are
// one mutation away. Within an argument a byte below 0x80 is that character, and a byte from
// 0x80 up takes the next byte with it to make one character from 0x80 to 0x807F (accented
// letters, other scripts, lone surrogate halves), so the parser sees text no keyboard types.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "editor/RightsTable.h"
#include "platform/Output.h"

using namespace tessarwick;

namespace {

constexpr char kBanner[] = "\nTessarwick.exe Version 1.0 Copyright (c) 2026 The Tessarwick developers\n\n";

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "command line invariant broken: %s\n", what);
  std::abort();
}

std::vector<std::wstring> SplitArguments(const std::uint8_t* data, std::size_t size) {
  std::vector<std::wstring> arguments(1);
  for (std::size_t index = 0; index < size; ++index) {
    const std::uint8_t byte = data[index];
    if (byte == 0) {
      arguments.emplace_back();
    } else if (byte < 0x80) {
      arguments.back() += static_cast<wchar_t>(byte);
    } else if (index + 1 < size) {
      arguments.back() += static_cast<wchar_t>(0x80 + (((byte & 0x7F) << 8) | data[++index]));
    }
  }
  return arguments;
}

std::string g_output;
std::string g_usage;

void Collect(void*, const char* bytes, std::size_t length) { g_output.append(bytes, length); }

std::wstring TextOf(const WideString& text) {
  return text.IsAbsent() ? std::wstring() : std::wstring(text.Text(), text.Length());
}

class CheckingOperations final : public CommandOperations {
 public:
  explicit CheckingOperations(const std::vector<std::wstring>& arguments) : arguments_(arguments) {}

  void View(CNamespaceTarget& target, const WideString& computer) override {
    ++calls;
    CheckValue(target.Namespace, "the namespace");
    CheckValue(computer, "the computer");
  }

  void Modify(CNamespaceTarget& target, const WideString& computer, const WideString& trustee, bool,
              std::uint32_t accessMask, bool) override {
    ++calls;
    CheckValue(target.Namespace, "the namespace");
    CheckValue(computer, "the computer");
    if (trustee.IsAbsent()) Fail("modify mode without a trustee");
    if (!SomeArgumentIsAnAceTypeSwitch()) Fail("modify mode without /A or /D");
    if (!SomeArgumentCarriesTrustee(TextOf(trustee))) Fail("a trustee that no /M value holds");
    std::uint32_t tableBits = 0;
    for (const NamespaceRight& right : kNamespaceRights) tableBits |= right.bit;
    if ((accessMask & ~tableBits) != 0) Fail("an access mask with bits the rights table does not name");
  }

  int calls = 0;

 private:
  // A value setting is absent or one whole argument: nothing is copied or cut except the trustee.
  void CheckValue(const WideString& value, const char* what) const {
    if (value.IsAbsent()) return;
    for (const std::wstring& argument : arguments_)
      if (argument == TextOf(value)) return;
    std::fprintf(stderr, "%s\n", what);
    Fail("a setting that is no argument");
  }

  bool SomeArgumentIsAnAceTypeSwitch() const {
    for (const std::wstring& argument : arguments_)
      if (argument.size() >= 2 && (argument[0] == L'/' || argument[0] == L'-') &&
          std::wcschr(L"AaDd", argument[1]) != nullptr)
        return true;
    return false;
  }

  // The trustee is a whole argument without a colon, or the text before an argument's last colon.
  bool SomeArgumentCarriesTrustee(const std::wstring& trustee) const {
    for (const std::wstring& argument : arguments_) {
      const std::size_t colon = argument.rfind(L':');
      const std::size_t end = colon == std::wstring::npos ? argument.size() : colon;
      if (end == trustee.size() && argument.compare(0, end, trustee) == 0) return true;
    }
    return false;
  }

  const std::vector<std::wstring>& arguments_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::wstring> arguments = SplitArguments(data, size);
  arguments.insert(arguments.begin(), L"Tessarwick.exe");
  if (size == 0) arguments.resize(1);  // an empty input is the run without arguments

  // Each argument and the vector itself get heap blocks of exactly their size, with no null
  // pointer after the last argument, so that a read past either shows up under the address
  // sanitizer instead of landing on a terminator.
  const int argc = static_cast<int>(arguments.size());
  std::vector<std::unique_ptr<wchar_t[]>> storage;
  std::unique_ptr<wchar_t*[]> argv(new wchar_t*[arguments.size()]);
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    storage.emplace_back(new wchar_t[arguments[index].size() + 1]);
    std::wmemcpy(storage.back().get(), arguments[index].c_str(), arguments[index].size() + 1);
    argv[index] = storage.back().get();
  }
  // Element 0, the program path, is never read: make it point at nothing readable.
  argv[0] = nullptr;

  SetOutputReceiver(&Collect, nullptr);
  if (g_usage.empty()) {
    PrintUsage();
    g_usage = g_output;
  }
  g_output.clear();
  CheckingOperations operations(arguments);
  const int exitCode = RunCommand(argc, argv.get(), operations);
  SetOutputReceiver(nullptr, nullptr);

  if (exitCode != 0) Fail("an exit code other than 0");
  if (g_output.compare(0, sizeof kBanner - 1, kBanner) != 0) Fail("the output does not start with the banner");
  const std::string afterBanner = g_output.substr(sizeof kBanner - 1);
  const bool usage = !afterBanner.empty();
  if (usage && afterBanner != g_usage) Fail("output after the banner that is not the usage text, once and whole");
  if (usage + operations.calls != 1) Fail("not exactly one of: usage text, view, modify");
  return 0;
}
