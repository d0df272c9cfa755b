// Arbitrary bytes into the self-relative parser, which must never read outside them (the
// address sanitizer watches). Whatever it accepts must write and read back unchanged, and its
// SDDL text must read back and be written the same again.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/portable/security/Descriptor.h"

using namespace tessarwick::portable;

namespace {
[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SecurityDescriptor first;
  DWORD error = 0;
  if (!ParseSelfRelative(data, size, first, error)) {
    if (error == 0) Fail("a refusal without an error code");
    return 0;
  }
  const std::vector<BYTE> bytes = WriteSelfRelative(first);
  // An exactly-sized copy, so that a read past the written end is caught too.
  std::unique_ptr<BYTE[]> exact(new BYTE[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  SecurityDescriptor second;
  if (!ParseSelfRelative(exact.get(), bytes.size(), second, error)) Fail("the written form does not read back");
  if (!(second == first)) Fail("parse(write(parse(x))) differs from parse(x)");
  if (WriteSelfRelative(second) != bytes) Fail("the written form is not a fixed point");

  const std::wstring text = FormatSddl(first, 15);
  SecurityDescriptor fromText;
  std::size_t offset = 0;
  if (!ParseSddl(text, fromText, error, offset)) {
    std::fprintf(stderr, "text: %ls\n", text.c_str());
    Fail("the SDDL text of a valid descriptor does not read back");
  }
  if (FormatSddl(fromText, 15) != text) Fail("the SDDL text changes when read back");
  return 0;
}
