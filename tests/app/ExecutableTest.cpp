// The built executable, run as a separate process: the same banner and usage text on both builds
// (the Windows build runs under wine), and exit code 0.
#include <gtest/gtest.h>

#include "tests/app/ExpectedText.h"
#include "tests/support/OutputCapture.h"
#include "tests/support/ProcessRunner.h"

namespace tessarwick::testing {
namespace {

TEST(ExecutableTest, PrintsBannerAndUsageForEachUsageCase) {
  ASSERT_FALSE(TessarwickExecutable().empty()) << "TESSARWICK_EXE is not set";
  const std::string expected = std::string(kExpectedBanner) + kExpectedUsage;
  const std::vector<std::vector<std::string>> cases = {{}, {"/?"}, {"/M", "DOM\\user:EXEC_METHODS"}, {"/N"}};
  for (const auto& arguments : cases) {
    std::string joined;
    for (const std::string& argument : arguments) joined += argument + " ";
    ProcessResult result = RunTessarwick(arguments);
    EXPECT_EQ(result.exitCode, 0) << joined;
    EXPECT_EQ(result.output, expected) << "arguments: " << joined << "\n" << FirstDifference(expected, result.output);
  }
}

}  // namespace
}  // namespace tessarwick::testing
