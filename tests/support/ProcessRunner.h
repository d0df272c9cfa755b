// Runs the built Tessarwick executable (named by the TESSARWICK_EXE environment variable that
// CTest sets) with given arguments and environment, and collects its standard output.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tessarwick::testing {

struct ProcessResult {
  int exitCode = -1;
  std::string output;       // standard output, with "\r\n" line ends turned into "\n"
  std::string errorOutput;  // standard error
};

// Environment entries are added to (or replace those of) the test's own environment.
ProcessResult RunTessarwick(const std::vector<std::string>& arguments,
                            const std::vector<std::pair<std::string, std::string>>& environment = {});

// The path of the built executable; empty when CTest did not name one.
std::string TessarwickExecutable();

}  // namespace tessarwick::testing
