// A private folder for one test (its host file, its logs), made fresh and removed with everything
// in it when the test ends, so that tests never share or leave behind state.
#pragma once

#include <filesystem>
#include <string>

namespace tessarwick::testing {

class ScratchFolder {
 public:
  // Makes a new folder named after the prefix under the system's temporary folder.
  explicit ScratchFolder(const std::string& prefix);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The simulated host's file for this test (it does not exist until something writes it).
  std::filesystem::path HostFile() const { return path_ / "host.json"; }

 private:
  std::filesystem::path path_;
};

// The whole content of a file, byte for byte; empty when it cannot be read.
std::string ReadFileText(const std::filesystem::path& path);
void WriteFileText(const std::filesystem::path& path, const std::string& text);

}  // namespace tessarwick::testing
