#include "tests/support/HostFileTest.h"

#include <fstream>

#include "tests/app/ExpectedText.h"
#include "tests/support/OutputCapture.h"
#include "tests/support/ProcessRunner.h"

namespace tessarwick::testing {

void HostFileTest::SetUp() { ASSERT_FALSE(TessarwickExecutable().empty()) << "TESSARWICK_EXE is not set"; }

void HostFileTest::WriteHost(const Json& host) const { std::ofstream(hostFile_) << host.dump(2) << "\n"; }

std::string HostFileTest::Run(const Arguments& arguments) const {
  const ProcessResult result = RunTessarwick(arguments, {{"TESSARWICK_HOST_FILE", hostFile_.string()}});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errorOutput, "");
  return result.output;
}

nlohmann::json* FindNamespace(nlohmann::json& host, const std::vector<std::string>& path, const std::string& computer) {
  for (nlohmann::json& entry : host.at("computers")) {
    if (entry.at("name") != computer || !entry.contains("namespaces")) continue;
    nlohmann::json* node = &entry.at("namespaces");
    for (std::size_t index = 1; index < path.size(); ++index) {
      nlohmann::json* next = nullptr;
      if (!node->contains("children")) return nullptr;
      for (nlohmann::json& child : node->at("children"))
        if (child.at("name") == path[index]) next = &child;
      if (next == nullptr) return nullptr;
      node = next;
    }
    return node;
  }
  return nullptr;
}

const nlohmann::json* FindNamespace(const nlohmann::json& host, const std::vector<std::string>& path,
                                    const std::string& computer) {
  return FindNamespace(const_cast<nlohmann::json&>(host), path, computer);
}

void ExpectOutput(const std::string& expectedAfterBanner, const std::string& output) {
  const std::string expected = std::string(kExpectedBanner) + expectedAfterBanner;
  EXPECT_EQ(output, expected) << FirstDifference(expected, output);
}

}  // namespace tessarwick::testing
