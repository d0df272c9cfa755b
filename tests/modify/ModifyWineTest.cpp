// Modify mode of the Windows build against the platform's own services: under wine these are
// wine's WMI, LSA and SDDL implementations, independent of the stand-in and of Windows. Where wine
// differs from Windows, the test accepts both and says which is which.
//
// On a real Windows computer these tests change the descriptor of root\cimv2 (an entry for
// Everyone with ENABLE_ACCOUNT|REMOTE_ENABLE). Run them there only on a machine meant for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/ExpectedText.h"
#include "tests/support/OutputCapture.h"
#include "tests/support/ProcessRunner.h"

namespace tessarwick::testing {
namespace {

class ModifyWineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(TessarwickExecutable().empty()) << "TESSARWICK_EXE is not set"; }

  static std::string Run(const std::vector<std::string>& arguments) {
    const ProcessResult result = RunTessarwick(arguments);
    EXPECT_EQ(result.exitCode, 0);
    return result.output;
  }

  // The descriptor line of root\cimv2 as view mode prints it: "<SDDL> ".
  static std::string CurrentDescriptorLine() {
    const std::string output = Run({"/N", "root\\cimv2"});
    const std::string heading = std::string(kExpectedBanner) + "Permissions on root\\cimv2 \n";
    EXPECT_EQ(output.compare(0, heading.size(), heading), 0) << output;
    const std::size_t end = output.find('\n', heading.size());
    if (output.compare(0, heading.size(), heading) != 0 || end == std::string::npos) return {};
    return output.substr(heading.size(), end - heading.size());
  }
};

TEST_F(ModifyWineTest, AddsAnEntryForEveryone) {
  const std::string before = CurrentDescriptorLine();
  ASSERT_EQ(before.rfind("O:", 0), 0u) << before;
  const std::string expected =
      std::string(kExpectedBanner) + before + "\nWrite security succeeded on root\\cimv2 for Everyone.\n";
  const std::string output = Run({"/A:ADD", "/N", "root\\cimv2", "/M", "Everyone:ENABLE_ACCOUNT|REMOTE_ENABLE"});
  EXPECT_EQ(output, expected) << FirstDifference(expected, output);

  // Windows stores the descriptor, and the conversion writes Everyone (S-1-1-0) as its alias WD.
  // Wine's SetSD reports success and keeps its fixed descriptor, so the text stays as it was.
  const std::string after = CurrentDescriptorLine();
  const bool stored = after.find("(A;;CCWP;;;WD)") != std::string::npos;
  EXPECT_TRUE(stored || after == before) << "before: " << before << "\nafter: " << after;
}

// The service writes the built-in Administrators group as its alias BA, which never matches the
// SID text the lookup gives (S-1-5-32-544): the text is written back as it was read, on Windows
// and wine alike.
TEST_F(ModifyWineTest, RemovesRightsForAdministrators) {
  const std::string before = CurrentDescriptorLine();
  ASSERT_EQ(before.rfind("O:", 0), 0u) << before;
  const std::string expected =
      std::string(kExpectedBanner) + before + "\nWrite security succeeded on root\\cimv2 for Administrators.\n";
  const std::string output = Run({"/A:REMOVE", "/N", "root\\cimv2", "/M", "Administrators:EXEC_METHODS"});
  EXPECT_EQ(output, expected) << FirstDifference(expected, output);
  EXPECT_EQ(CurrentDescriptorLine(), before);
}

// ERROR_NONE_MAPPED. Windows' text for 1332 is "No mapping between account names and security IDs
// was done."; wine's is "No security ID mapped.". Either way the run ends after this one line,
// before any connection.
TEST_F(ModifyWineTest, UnknownAccountEndsWithTheLookupLine) {
  const std::string output = Run({"/A:ADD", "/N", "root\\cimv2", "/M", "TessarwickNoSuchAccount:EXEC_METHODS"});
  const std::string windows = std::string(kExpectedBanner) +
                              "LsaLookupNames2 returned 1332 No mapping between account names and security IDs "
                              "was done.\n";
  const std::string wine = std::string(kExpectedBanner) + "LsaLookupNames2 returned 1332 No security ID mapped.\n";
  EXPECT_TRUE(output == windows || output == wine) << output;
}

TEST_F(ModifyWineTest, EmptyTrusteePrintsNothingAfterTheBanner) {
  const std::string output = Run({"/A:ADD", "/N", "root\\cimv2", "/M", ":EXEC_METHODS"});
  EXPECT_EQ(output, std::string(kExpectedBanner)) << FirstDifference(kExpectedBanner, output);
}

// The trustee is looked up on this computer even when /C names another: the run gets as far as
// the connection, which fails for a computer that does not exist. Wine reports the failure as
// WBEM_E_TRANSPORT_FAILURE; Windows as the RPC error 0x800706BA, which has no WBEM name.
TEST_F(ModifyWineTest, TrusteeIsResolvedLocallyForAnotherComputer) {
  const std::string output =
      Run({"/C", "tessarwick-nohost", "/A:ADD", "/N", "root\\cimv2", "/M", "Everyone:EXEC_METHODS"});
  const std::string prefix = std::string(kExpectedBanner) +
                             "CWMIQuery::Connect: Failed connecting to namespace:\\\\tessarwick-nohost\\root\\cimv2, "
                             "error:";
  EXPECT_EQ(output.compare(0, prefix.size(), prefix), 0) << FirstDifference(prefix, output);
  EXPECT_EQ(output.find('\n', prefix.size()), output.size() - 1) << output;
}

}  // namespace
}  // namespace tessarwick::testing
