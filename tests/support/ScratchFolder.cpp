#include "tests/support/ScratchFolder.h"

#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

namespace tessarwick::testing {

ScratchFolder::ScratchFolder(const std::string& prefix) {
  std::random_device random;
  std::error_code error;
  // create_directory reports false for a folder that already exists, so a clash tries again.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate =
        std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(random()) + std::to_string(random()));
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = candidate;
      return;
    }
  }
  throw std::filesystem::filesystem_error("cannot make a scratch folder", error);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string ReadFileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFileText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace tessarwick::testing
