#include <cstring>
#include <string>
#include <vector>

#include "platform/Entry.h"
#include "platform/Text.h"

// The arguments arrive as UTF-8 bytes. A byte sequence that is not UTF-8 is taken byte by byte
// (as Latin-1) rather than refused, so that every argument reaches the parser.
int main(int argc, char** argv) {
  std::vector<std::wstring> texts;
  texts.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    std::wstring wide;
    if (!tessarwick::platform::AnsiToWide(argv[i], std::strlen(argv[i]), wide)) {
      wide.clear();
      for (const char* byte = argv[i]; *byte != '\0'; ++byte)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*byte));
    }
    texts.push_back(std::move(wide));
  }
  std::vector<wchar_t*> pointers;
  pointers.reserve(texts.size() + 1);
  for (std::wstring& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return TessarwickMain(argc, pointers.data());
}
