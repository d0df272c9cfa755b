// Arbitrary text into the SDDL reader. Whatever it accepts must survive being written in the
// canonical form and read again unchanged, and that canonical text must be a fixed point; the
// binary form of the same descriptor must read back to it as well.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/portable/security/Descriptor.h"

using namespace tessarwick::portable;

namespace {
[[noreturn]] void Fail(const char* what, const std::wstring& text) {
  std::fprintf(stderr, "%s\ntext: %ls\n", what, text.c_str());
  std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One byte per character keeps the grammar's ASCII within easy reach; bytes above 0x7F still
  // give the reader characters it must refuse.
  const std::wstring text(data, data + size);
  SecurityDescriptor first;
  DWORD error = 0;
  std::size_t offset = 0;
  if (!ParseSddl(text, first, error, offset)) {
    if (error == 0) Fail("a refusal without an error code", text);
    if (offset > text.size()) Fail("a fault offset beyond the text", text);
    return 0;
  }
  const std::wstring canonical = FormatSddl(first, 15);
  SecurityDescriptor second;
  if (!ParseSddl(canonical, second, error, offset)) Fail("the canonical text does not read back", canonical);
  if (!(second == first)) Fail("parse(format(parse(x))) differs from parse(x)", canonical);
  if (FormatSddl(second, 15) != canonical) Fail("the canonical text is not a fixed point", canonical);

  const std::vector<BYTE> bytes = WriteSelfRelative(first);
  SecurityDescriptor fromBytes;
  if (!ParseSelfRelative(bytes.data(), bytes.size(), fromBytes, error))
    Fail("the binary form does not read back", canonical);
  if (!(fromBytes == first)) Fail("the binary form reads back differently", canonical);
  return 0;
}
