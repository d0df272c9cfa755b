// A test of the built executable against a simulated host made for it: the test writes the host
// file (JSON), runs the program against it, and reads back what the host stored. Native only,
// since the host file belongs to the stand-in platform.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/ScratchFolder.h"

namespace tessarwick::testing {

class HostFileTest : public ::testing::Test {
 protected:
  using Json = nlohmann::json;
  using Arguments = std::vector<std::string>;

  explicit HostFileTest(const std::string& name) : scratch_("tessarwick-" + name) {}
  void SetUp() override;

  void WriteHost(const Json& host) const;
  std::string HostFileText() const { return ReadFileText(hostFile_); }
  Json StoredHost() const { return Json::parse(HostFileText()); }

  // Runs the program against this test's host file; a run always exits with 0 and, whatever
  // happens, writes nothing to standard error (under the sanitizers that includes their reports).
  std::string Run(const Arguments& arguments) const;

  ScratchFolder scratch_;
  const std::filesystem::path hostFile_ = scratch_.HostFile();
};

// The namespace object of a path ({"root", "CCM"}) of a computer in the host file ("." is the local
// one), or null.
const nlohmann::json* FindNamespace(const nlohmann::json& host, const std::vector<std::string>& path,
                                    const std::string& computer = ".");
nlohmann::json* FindNamespace(nlohmann::json& host, const std::vector<std::string>& path,
                              const std::string& computer = ".");

// Compares the whole output of a run, banner included, and names the first differing line.
void ExpectOutput(const std::string& expectedAfterBanner, const std::string& output);

}  // namespace tessarwick::testing
