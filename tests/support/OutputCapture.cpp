#include "tests/support/OutputCapture.h"

#include <sstream>
#include <utility>

#include "platform/Output.h"

namespace tessarwick::testing {

OutputCapture::OutputCapture() { SetOutputReceiver(&OutputCapture::Receive, this); }
OutputCapture::~OutputCapture() { SetOutputReceiver(nullptr, nullptr); }

void OutputCapture::Receive(void* context, const char* bytes, std::size_t length) {
  static_cast<OutputCapture*>(context)->text_.append(bytes, length);
}

std::string OutputCapture::Take() { return std::exchange(text_, std::string()); }

std::string FirstDifference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return {};
  std::istringstream left(expected), right(actual);
  std::string expectedLine, actualLine;
  for (int line = 1;; ++line) {
    bool haveLeft = static_cast<bool>(std::getline(left, expectedLine));
    bool haveRight = static_cast<bool>(std::getline(right, actualLine));
    if (!haveLeft && !haveRight) return "the texts differ only in their final line end";
    if (!haveLeft || !haveRight || expectedLine != actualLine) {
      std::ostringstream report;
      report << "first difference at line " << line
             << ":\n  expected: " << (haveLeft ? "\"" + expectedLine + "\"" : "<end of text>")
             << "\n  actual:   " << (haveRight ? "\"" + actualLine + "\"" : "<end of text>");
      return report.str();
    }
  }
}

}  // namespace tessarwick::testing
