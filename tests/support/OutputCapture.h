// Captures everything the program prints through WidePrintf while the object lives.
#pragma once

#include <string>

namespace tessarwick::testing {

class OutputCapture {
 public:
  OutputCapture();
  ~OutputCapture();
  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;

  const std::string& Text() const { return text_; }
  // Returns what was captured so far and starts afresh.
  std::string Take();

 private:
  static void Receive(void* context, const char* bytes, std::size_t length);
  std::string text_;
};

// Compares two multi-line texts and, when they differ, names the first differing line.
std::string FirstDifference(const std::string& expected, const std::string& actual);

}  // namespace tessarwick::testing
