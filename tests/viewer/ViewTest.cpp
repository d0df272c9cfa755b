// View mode end to end: the built executable (native) against host files made for each test, its
// whole standard output compared with what an administrator should see.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/portable/security/Descriptor.h"
#include "platform/portable/wmi/HostControl.h"
#include "platform/portable/wmi/HostModel.h"
#include "platform/portable/wmi/HostStore.h"
#include "tests/app/ExpectedText.h"
#include "tests/support/OutputCapture.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/ScratchFolder.h"
#include "wmi/ErrorText.h"

namespace tessarwick {
namespace {

using testing::FirstDifference;
using testing::kExpectedBanner;
using testing::ProcessResult;
using testing::RunTessarwick;
using wmihost::Fault;
using wmihost::HostCall;
using wmihost::NamespaceNode;

// Each namespace of the test trees carries a descriptor of its own, told apart by the RID of its
// one entry, so that a heading followed by the wrong descriptor shows.
std::wstring DescriptorTextFor(int rid) {
  return L"O:BAG:SYD:(A;;CCDCRP;;;S-1-5-21-1000-2000-3000-" + std::to_wstring(rid) + L")";
}

NamespaceNode MakeNode(const wchar_t* name, int rid) {
  NamespaceNode node;
  node.name = name;
  DWORD error = 0;
  std::size_t offset = 0;
  bool parsed = portable::ParseSddl(DescriptorTextFor(rid), node.descriptor, error, offset);
  EXPECT_TRUE(parsed) << "error " << error << " at " << offset;
  return node;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string Heading(const std::string& path) { return "Permissions on " + path + " \n"; }
std::string Descriptor(int rid) { return Narrow(DescriptorTextFor(rid)) + " \n\n"; }
std::string Entry(const std::string& path, int rid) { return Heading(path) + Descriptor(rid); }

// root (1) with a (2), which holds a1 (3), and b (4), enumerated in that order.
wmihost::HostState MakeHostState() {
  wmihost::HostState state = wmihost::DefaultHostState();
  NamespaceNode root = MakeNode(L"root", 1);
  NamespaceNode a = MakeNode(L"a", 2);
  a.children.push_back(MakeNode(L"a1", 3));
  root.children.push_back(std::move(a));
  root.children.push_back(MakeNode(L"b", 4));
  state.local.root = root;
  return state;
}

Fault FaultOn(const wchar_t* namespacePath, HostCall call, HRESULT status, const wchar_t* name = L"") {
  Fault fault;
  fault.namespacePath = namespacePath;
  fault.call = call;
  fault.status = status;
  fault.name = name;
  return fault;
}

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(testing::TessarwickExecutable().empty()) << "TESSARWICK_EXE is not set"; }

  // Writes the host file (unless the test wants the embedded default) and runs the command.
  std::string Run(const std::vector<std::string>& arguments, bool writeHost = true) {
    if (writeHost) std::ofstream(hostFile_) << wmihost::HostStateToJson(state_);
    ProcessResult result = RunTessarwick(arguments, {{"TESSARWICK_HOST_FILE", hostFile_.string()}});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errorOutput, "");
    return result.output;
  }

  void ExpectOutput(const std::vector<std::string>& arguments, const std::string& view) {
    const std::string expected = kExpectedBanner + view;
    const std::string actual = Run(arguments);
    EXPECT_EQ(actual, expected) << FirstDifference(expected, actual);
  }

  testing::ScratchFolder scratch_{"tessarwick-view"};
  const std::filesystem::path hostFile_ = scratch_.HostFile();
  wmihost::HostState state_ = MakeHostState();
};

TEST_F(ViewTest, OneNamespaceWithoutSubNamespaces) {
  ExpectOutput({"/N", "root\\a"}, Entry("root\\a", 2));
  ExpectOutput({"/N", "root"}, Entry("root", 1));
}

TEST_F(ViewTest, RecursiveWalkIsDepthFirstPreOrder) {
  ExpectOutput({"/N", "root", "/R"},
               Entry("root", 1) + Entry("root\\a", 2) + Entry("root\\a\\a1", 3) + Entry("root\\b", 4));
  // A namespace without sub-namespaces is the whole walk, /R or not.
  ExpectOutput({"/N", "root\\b", "/R"}, Entry("root\\b", 4));
}

TEST_F(ViewTest, NamespaceThatCannotBeConnectedIsSkippedWithItsSubtree) {
  state_.faults.push_back(FaultOn(L"root\\a", HostCall::ConnectServer, static_cast<HRESULT>(WBEM_E_ACCESS_DENIED)));
  ExpectOutput({"/N", "root", "/R"},
               Entry("root", 1) +
                   "CWMIQuery::Connect: Failed connecting to namespace:root\\a, error:WBEM_E_ACCESS_DENIED\n" +
                   Entry("root\\b", 4));
}

// Each way the descriptor can fail to print: the line that says so, and the walk going on below.
struct DescriptorFailureCase {
  const char* label;
  HostCall call;
  HRESULT status;
  const wchar_t* name;
  LONG returnValue;
  wmihost::SdShape shape;
  const char* line;
};

class DescriptorFailureTest : public ViewTest, public ::testing::WithParamInterface<DescriptorFailureCase> {};

TEST_P(DescriptorFailureTest, PrintsOneLineAndStillWalksTheSubtree) {
  const DescriptorFailureCase& row = GetParam();
  Fault fault = FaultOn(L"root\\a", row.call, row.status, row.name);
  fault.returnValue = row.returnValue;
  fault.sdShape = row.shape;
  state_.faults.push_back(fault);
  ExpectOutput({"/N", "root", "/R"},
               Entry("root", 1) + Heading("root\\a") + row.line + Entry("root\\a\\a1", 3) + Entry("root\\b", 4));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DescriptorFailureTest,
    ::testing::Values(
        DescriptorFailureCase{"GetObject", HostCall::GetObject, static_cast<HRESULT>(WBEM_E_NOT_FOUND), L"", 0,
                              wmihost::SdShape::ByteArray,
                              "GetObject: Failed, property:__SystemSecurity error:WBEM_E_NOT_FOUND\n"},
        DescriptorFailureCase{"ExecMethod", HostCall::ExecMethod, static_cast<HRESULT>(WBEM_E_ACCESS_DENIED), L"GetSD",
                              0, wmihost::SdShape::ByteArray,
                              "ExecMethod: Failed, method:GetSD error:WBEM_E_ACCESS_DENIED\n"},
        DescriptorFailureCase{"ReturnValue", HostCall::Get, static_cast<HRESULT>(WBEM_E_NOT_FOUND), L"ReturnValue", 0,
                              wmihost::SdShape::ByteArray,
                              "GetProperty: Failed, property:ReturnValue error:WBEM_E_NOT_FOUND\n"},
        // A method that refused says so only through ReturnValue: nothing follows the heading.
        DescriptorFailureCase{"NonzeroReturnValue", HostCall::ExecMethod, S_OK, L"GetSD", 5,
                              wmihost::SdShape::ByteArray, ""},
        DescriptorFailureCase{"SD", HostCall::Get, static_cast<HRESULT>(WBEM_E_TYPE_MISMATCH), L"SD", 0,
                              wmihost::SdShape::ByteArray,
                              "GetProperty: Failed, property:SD error:WBEM_E_TYPE_MISMATCH\n"},
        // An SD that is not an array of bytes has nothing to convert: it is reported like an SD
        // that could not be read, with the status that names the mismatch.
        DescriptorFailureCase{"SdNull", HostCall::ExecMethod, S_OK, L"GetSD", 0, wmihost::SdShape::Null,
                              "GetProperty: Failed, property:SD error:WBEM_E_TYPE_MISMATCH\n"},
        DescriptorFailureCase{"SdString", HostCall::ExecMethod, S_OK, L"GetSD", 0, wmihost::SdShape::String,
                              "GetProperty: Failed, property:SD error:WBEM_E_TYPE_MISMATCH\n"},
        DescriptorFailureCase{"SdInt32Array", HostCall::ExecMethod, S_OK, L"GetSD", 0, wmihost::SdShape::Int32Array,
                              "GetProperty: Failed, property:SD error:WBEM_E_TYPE_MISMATCH\n"},
        // Bytes that are no self-relative descriptor (an unknown revision): the conversion refuses
        // them and its line names the thread's last error.
        DescriptorFailureCase{"SdNotADescriptor", HostCall::ExecMethod, S_OK, L"GetSD", 0,
                              wmihost::SdShape::InvalidBytes,
                              "ConvertSecurityDescriptorToStringSecurityDescriptor - The revision level is not one "
                              "that the system knows.\n"}),
    [](const ::testing::TestParamInfo<DescriptorFailureCase>& info) { return std::string(info.param.label); });

TEST_F(ViewTest, ChildWhoseNameCannotBeReadIsSkipped) {
  Fault fault = FaultOn(L"root", HostCall::Get, static_cast<HRESULT>(WBEM_E_ACCESS_DENIED), L"Name");
  fault.object = L"a";
  state_.faults.push_back(fault);
  ExpectOutput({"/N", "root", "/R"}, Entry("root", 1) +
                                         "CWMIQuery::GetProperty: Failed, property:Name error:WBEM_E_ACCESS_DENIED\n" +
                                         Entry("root\\b", 4));
}

TEST_F(ViewTest, FailedQueryLeavesTheNextHeadingOnItsLine) {
  state_.faults.push_back(FaultOn(L"root\\a", HostCall::ExecQuery, static_cast<HRESULT>(WBEM_E_INVALID_QUERY)));
  // The query's message has no line end of its own, so b's heading continues that line.
  ExpectOutput({"/N", "root", "/R"},
               Entry("root", 1) + Entry("root\\a", 2) +
                   "CWMIQuery::Query: Failed executing query:SELECT * FROM __NAMESPACE, error:WBEM_E_INVALID_QUERY" +
                   Entry("root\\b", 4));
}

TEST_F(ViewTest, ComputerIsPutInFrontOfEveryPath) {
  wmihost::ComputerState remote;
  remote.name = L"srv";
  remote.root = MakeHostState().local.root;
  state_.remotes.push_back(remote);
  ExpectOutput({"/C", "srv", "/N", "root", "/R"}, Entry("\\\\srv\\root", 1) + Entry("\\\\srv\\root\\a", 2) +
                                                      Entry("\\\\srv\\root\\a\\a1", 3) + Entry("\\\\srv\\root\\b", 4));
  // An empty computer text adds nothing.
  ExpectOutput({"/C", "", "/N", "root"}, Entry("root", 1));
}

TEST_F(ViewTest, UnknownComputerPrintsTheConnectLineOnly) {
  // The host answers for a computer it does not know as Windows does: the RPC server is
  // unavailable (0x800706BA), a status without a WBEM name.
  ExpectOutput({"/C", "nosuchhost", "/N", "root", "/R"},
               std::string("CWMIQuery::Connect: Failed connecting to namespace:\\\\nosuchhost\\root, error:") +
                   WbemErrorText(static_cast<HRESULT>(0x800706BA)) + "\n");
}

TEST_F(ViewTest, WithoutNamespaceAndComputerTheHeadingShowsNull) {
  // The path is absent: the connection falls back to root\default, and the heading prints "(null)".
  NamespaceNode defaultNamespace = MakeNode(L"default", 5);
  state_.local.root.children.push_back(defaultNamespace);
  ExpectOutput({"/R"}, Entry("(null)", 5));
}

TEST_F(ViewTest, PathEndingInABackslashIsRefusedByTheService) {
  // A child's path is its parent's, one backslash and its name, even after a parent that ends in a
  // backslash; but the service (wine's as well as the stand-in) refuses such a parent, so the walk
  // ends at its Connect line and no child path is ever made from it.
  wmihost::ComputerState remote;
  remote.name = L"srv";
  remote.root = MakeHostState().local.root;
  state_.remotes.push_back(remote);
  ExpectOutput({"/N", "root\\", "/R"},
               "CWMIQuery::Connect: Failed connecting to namespace:root\\, error:WBEM_E_INVALID_NAMESPACE\n");
  // With a computer but no namespace the path is "\\srv\", which ends the same way.
  ExpectOutput({"/C", "srv", "/R"},
               "CWMIQuery::Connect: Failed connecting to namespace:\\\\srv\\, error:WBEM_E_INVALID_NAMESPACE\n");
}

TEST_F(ViewTest, DefaultHostListsItsThirteenNamespacesDepthFirst) {
  const std::string root =
      "O:BAG:BAD:(A;CI;CCDCLCSWRPWPRCWD;;;BA)(A;CI;CCDCRP;;;NS)(A;CI;CCDCRP;;;LS)(A;CI;CCDCRP;;;AU)";
  const std::string inherited =
      "O:BAG:BAD:(A;CIID;CCDCLCSWRPWPRCWD;;;BA)(A;CIID;CCDCRP;;;NS)(A;CIID;CCDCRP;;;LS)(A;CIID;CCDCRP;;;AU)";
  std::string expected = std::string(kExpectedBanner) + Heading("root") + root + " \n\n";
  for (const char* path : {"root\\subscription", "root\\DEFAULT", "root\\CIMV2", "root\\CIMV2\\Security",
                           "root\\CIMV2\\TerminalServices", "root\\Cli", "root\\SECURITY", "root\\WMI", "root\\Interop",
                           "root\\CCM", "root\\CCM\\Policy", "root\\CCM\\SoftwareUpdates"})
    expected += Heading(path) + inherited + " \n\n";
  // No host file: the host's embedded default content.
  const std::string actual = Run({"/N", "root", "/R"}, false);
  EXPECT_EQ(actual, expected) << FirstDifference(expected, actual);
}

}  // namespace
}  // namespace tessarwick
