// A fixture for tests of the simulated WMI host: each test gets its own host file in a fresh
// directory (none exists at first, so the host has its default content), COM is initialised, and
// no fault or record of an earlier test remains. The helpers make the COM calls the program makes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ComPtr.h"
#include "platform/Platform.h"
#include "platform/UniqueAny.h"
#include "platform/portable/wmi/HostControl.h"

namespace tessarwick::testing {

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& HostFile() const { return hostFile_; }
  void WriteHostFile(const std::string& text) const;
  std::string ReadHostFile() const;

  // ConnectServer to the path; the status is that of ConnectServer.
  HRESULT Connect(const wchar_t* path, ComPtr<IWbemServices>& services) const;
  ComPtr<IWbemServices> Connect(const wchar_t* path) const;

  // The children's names, as "SELECT * FROM __NAMESPACE" gives them.
  std::vector<std::wstring> ChildNames(IWbemServices* services) const;
  // GetSD and the SDDL text of its descriptor (owner, group, DACL and SACL).
  std::wstring ReadSddl(IWbemServices* services) const;
  // SetSD of the descriptor of the SDDL text; the result is SetSD's ReturnValue, or the status of
  // ExecMethod when that fails.
  LONG WriteSddl(IWbemServices* services, const wchar_t* sddl) const;
  // SetSD of raw bytes.
  LONG WriteBytes(IWbemServices* services, const std::vector<BYTE>& bytes) const;

 private:
  std::filesystem::path directory_;
  std::filesystem::path hostFile_;
};

UniqueBstr Bstr(const wchar_t* text);
std::vector<BYTE> SddlBytes(const wchar_t* sddl);

}  // namespace tessarwick::testing
