// Modify mode end to end on the native build: the built executable against a simulated host
// made for each test. Each test compares the whole standard output, banner included, and then
// what the host stored; a run that must not write is checked against the host file byte for byte.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/ExpectedText.h"
#include "tests/support/OutputCapture.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/HostFileTest.h"
#include "tests/support/ScratchFolder.h"

namespace tessarwick::testing {
namespace {

using Json = nlohmann::json;
using Arguments = std::vector<std::string>;

// The trustee of every test: a domain account that the host's security authority knows.
constexpr const char* kTrustee = "CONTOSO\\svc-inventory";
constexpr const char* kSid = "S-1-5-21-1-2-3-1001";
constexpr const char* kRemote = "WKS-0042";
// root\CCM's descriptor unless a test says otherwise; its sub-namespaces inherit its entry.
constexpr const char* kCcmDescriptor = "O:BAG:BAD:(A;CI;CCDCRP;;;AU)";

std::string WithSid(std::string text) {
  for (std::size_t at = text.find("<SID>"); at != std::string::npos; at = text.find("<SID>", at))
    text.replace(at, 5, kSid);
  return text;
}

// One computer's namespaces: root (whose entries nothing inherits), root\CCM with its
// sub-namespaces Policy, Inventory and Inventory\Sub, root\default and root\cimv2.
Json Namespaces(const std::string& ccmDescriptor) {
  Json ccm = {{"name", "CCM"},
              {"descriptor", ccmDescriptor},
              {"children", Json::array({{{"name", "Policy"}},
                                        {{"name", "Inventory"}, {"children", Json::array({{{"name", "Sub"}}})}}})}};
  return {{"name", "root"},
          {"descriptor", "O:BAG:BAD:(A;;CCDCLCSWRPWPRCWD;;;BA)"},
          {"children", Json::array({ccm, {{"name", "default"}}, {{"name", "cimv2"}}})}};
}

// The local computer and WKS-0042, each with its own copy of the tree, and the trustee's account.
Json Host(const std::string& ccmDescriptor = kCcmDescriptor, const std::string& remoteCcmDescriptor = kCcmDescriptor) {
  return {{"tessarwickHost", 1},
          {"computers", Json::array({{{"name", "."}, {"namespaces", Namespaces(ccmDescriptor)}},
                                     {{"name", kRemote}, {"namespaces", Namespaces(remoteCcmDescriptor)}}})},
          {"accounts", Json::array({{{"domain", "CONTOSO"}, {"name", "svc-inventory"}, {"sid", kSid}}})}};
}

class ModifyHostTest : public HostFileTest {
 protected:
  ModifyHostTest() : HostFileTest("modify") {}

  // The descriptor the host holds for a namespace, as its file writes it.
  std::string StoredDescriptor(const std::string& computer, const std::vector<std::string>& path) const {
    const Json host = StoredHost();
    const Json* node = FindNamespace(host, path, computer);
    if (node == nullptr) return "no namespace on " + computer;
    return node->at("descriptor").get<std::string>();
  }
};

// Runs that write: the output, then the descriptor stored on the namespace written, and the same
// namespace on the other computer left byte for byte as the file gave it.
struct WriteRow {
  const char* name;
  Arguments arguments;
  const char* ccmDescriptor;  // root\CCM on both computers
  const char* computer;       // where the write lands: "." or WKS-0042
  std::vector<std::string> path;
  const char* output;  // after the banner; <SID> stands for the trustee's SID
  const char* stored;
};
void PrintTo(const WriteRow& row, std::ostream* out) { *out << row.name; }

class ModifyWriteTest : public ModifyHostTest, public ::testing::WithParamInterface<WriteRow> {};

TEST_P(ModifyWriteTest, PrintsTheDescriptorAndStoresTheChange) {
  const WriteRow& row = GetParam();
  const bool local = std::string(row.computer) == ".";
  WriteHost(Host(row.ccmDescriptor, row.ccmDescriptor));
  ExpectOutput(WithSid(row.output), Run(row.arguments));
  EXPECT_EQ(StoredDescriptor(row.computer, row.path), WithSid(row.stored));
  EXPECT_EQ(StoredDescriptor(local ? kRemote : ".", {"root", "CCM"}), row.ccmDescriptor)
      << "the other computer changed";
}

const char kWorkedExample[] =
    "O:BAG:BAD:(A;CI;CCDCRP;;;S-1-5-21-1-2-3-1001)(A;CI;DC;;;S-1-5-21-1-2-3-1001)(A;CI;CC;;;S-1-5-21-1-2-3-1001)"
    "(A;;CCWP;;;S-1-5-21-1-2-3-1001)(D;CI;DC;;;S-1-5-21-1-2-3-1001)(A;CI;CCDCRP;;;AU)";

const WriteRow kWriteRows[] = {
    {"AddAllow",
     {"/A:ADD", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS|REMOTE_ENABLE"},
     kCcmDescriptor,
     ".",
     {"root", "CCM"},
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \nWrite security succeeded on root\\CCM for CONTOSO\\svc-inventory.\n",
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU)(A;;DCWP;;;<SID>)"},
    // Nothing is reordered: the denied entry goes after the allowed one.
    {"AddDeny",
     {"/D:ADD", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS|REMOTE_ENABLE"},
     kCcmDescriptor,
     ".",
     {"root", "CCM"},
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \nWrite security succeeded on root\\CCM for CONTOSO\\svc-inventory.\n",
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU)(D;;DCWP;;;<SID>)"},
    {"AddAllowInherited",
     {"/A:ADD", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS|REMOTE_ENABLE", "/R"},
     kCcmDescriptor,
     ".",
     {"root", "CCM"},
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \nWrite security succeeded on root\\CCM for CONTOSO\\svc-inventory.\n",
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU)(A;CI;DCWP;;;<SID>)"},
    // The name goes to the lookup as typed, and the confirmation shows it as typed.
    {"AddDenyInheritedNameAsTyped",
     {"/D:ADD", "/N", "root\\CCM", "/M", "contoso\\SVC-Inventory:FULL_WRITE", "/R"},
     kCcmDescriptor,
     ".",
     {"root", "CCM"},
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \nWrite security succeeded on root\\CCM for contoso\\SVC-Inventory.\n",
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU)(D;CI;LCSWRP;;;<SID>)"},
    // The trustee is resolved by this computer's security authority; the path names the other.
    {"AddOnAnotherComputer",
     {"/C", "WKS-0042", "/A:ADD", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS|REMOTE_ENABLE"},
     kCcmDescriptor,
     kRemote,
     {"root", "CCM"},
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \nWrite security succeeded on \\\\WKS-0042\\root\\CCM for CONTOSO\\svc-inventory.\n",
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU)(A;;DCWP;;;<SID>)"},
    {"DenyOnAnotherComputerInherited",
     {"/C", "WKS-0042", "/D:ADD", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EDIT_SECURITY", "/R"},
     kCcmDescriptor,
     kRemote,
     {"root", "CCM"},
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \nWrite security succeeded on \\\\WKS-0042\\root\\CCM for CONTOSO\\svc-inventory.\n",
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU)(D;CI;WD;;;<SID>)"},
    {"AddDuplicateIsAppended",
     {"/A:ADD", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS|REMOTE_ENABLE"},
     "O:BAG:BAD:(A;;DCWP;;;S-1-5-21-1-2-3-1001)",
     ".",
     {"root", "CCM"},
     "O:BAG:BAD:(A;;DCWP;;;<SID>) \nWrite security succeeded on root\\CCM for CONTOSO\\svc-inventory.\n",
     "O:BAG:BAD:(A;;DCWP;;;<SID>)(A;;DCWP;;;<SID>)"},
    // The entry goes into the DACL, not into the system ACL printed after it: SetSD sets no
    // system ACL, so an entry written into it would be gone. The namespace keeps its own.
    {"AddBeforeTheSystemAcl",
     {"/A:ADD", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS|REMOTE_ENABLE"},
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU)S:(AU;SA;CC;;;WD)",
     ".",
     {"root", "CCM"},
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU)S:(AU;SA;CC;;;WD) \n"
     "Write security succeeded on root\\CCM for CONTOSO\\svc-inventory.\n",
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU)(A;;DCWP;;;<SID>)S:(AU;SA;CC;;;WD)"},
    // The same on the other computer, whose system ACL spans two entries; this computer's copy of
    // root\CCM, system ACL included, is not touched.
    {"AddBeforeTheSystemAclOnAnotherComputer",
     {"/C", "WKS-0042", "/A:ADD", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS", "/R"},
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU)S:(AU;SA;CC;;;WD)(AU;FA;WD;;;BA)",
     kRemote,
     {"root", "CCM"},
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU)S:(AU;SA;CC;;;WD)(AU;FA;WD;;;BA) \n"
     "Write security succeeded on \\\\WKS-0042\\root\\CCM for CONTOSO\\svc-inventory.\n",
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU)(A;CI;DC;;;<SID>)S:(AU;SA;CC;;;WD)(AU;FA;WD;;;BA)"},
    {"RemoveWorkedExample",
     {"/A:REMOVE", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS", "/R"},
     kWorkedExample,
     ".",
     {"root", "CCM"},
     "O:BAG:BAD:(A;CI;CCDCRP;;;<SID>)(A;CI;DC;;;<SID>)(A;CI;CC;;;<SID>)(A;;CCWP;;;<SID>)(D;CI;DC;;;<SID>)"
     "(A;CI;CCDCRP;;;AU) \nWrite security succeeded on root\\CCM for CONTOSO\\svc-inventory.\n",
     "O:BAG:BAD:(A;CI;CCRP;;;<SID>)(A;CI;CC;;;<SID>)(A;CI;CCWP;;;<SID>)(D;CI;DC;;;<SID>)(A;CI;CCDCRP;;;AU)"},
    // Without /N and /C the connection goes to root\default and the confirmation has no path.
    {"NoNamespaceNoComputer",
     {"/A:ADD", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS"},
     kCcmDescriptor,
     ".",
     {"root", "default"},
     "O:BAG:BAD: \nWrite security succeeded on (null) for CONTOSO\\svc-inventory.\n",
     "O:BAG:BAD:(A;;DC;;;<SID>)"},
};
INSTANTIATE_TEST_SUITE_P(Runs, ModifyWriteTest, ::testing::ValuesIn(kWriteRows),
                         [](const auto& info) { return std::string(info.param.name); });

// Runs that must end without writing: the output, then the host file unchanged byte for byte.
// The host refuses every connection to root\CCM's namespace, so a run that ends before connecting
// shows no connection line.
struct NoWriteRow {
  const char* name;
  Arguments arguments;
  Json faults;            // the host file's "faults"
  Json creationFailures;  // the host file's "creationFailures", or null
  const char* ccmDescriptor;
  const char* output;  // after the banner
};
void PrintTo(const NoWriteRow& row, std::ostream* out) { *out << row.name; }

class ModifyNoWriteTest : public ModifyHostTest, public ::testing::WithParamInterface<NoWriteRow> {};

TEST_P(ModifyNoWriteTest, PrintsAtMostOneFailureAndWritesNothing) {
  const NoWriteRow& row = GetParam();
  Json host = Host(row.ccmDescriptor);
  host["faults"] = row.faults;
  if (!row.creationFailures.is_null()) host["creationFailures"] = row.creationFailures;
  WriteHost(host);
  const std::string before = HostFileText();
  ExpectOutput(row.output, Run(row.arguments));
  EXPECT_EQ(HostFileText(), before) << "the host file changed";
}

Json Fault(const char* call, const char* name, const char* status) {
  Json fault = {{"namespace", "root\\CCM"}, {"call", call}, {"status", status}};
  if (name != nullptr) fault["name"] = name;
  return fault;
}
Json ReturnValueFault(const char* method, int returnValue) {
  return {{"namespace", "root\\CCM"}, {"call", "ExecMethod"}, {"name", method}, {"returnValue", returnValue}};
}
Json ShapeFault(const char* shape) {
  return {{"namespace", "root\\CCM"}, {"call", "ExecMethod"}, {"name", "GetSD"}, {"sd", shape}};
}
Json Faults(Json fault) { return Json::array({std::move(fault)}); }
Json NoConnection() { return Faults(Fault("ConnectServer", nullptr, "0x80041003")); }

const Arguments kAdd = {"/A:ADD", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS|REMOTE_ENABLE"};
const char kCurrentLine[] = "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \n";

const NoWriteRow kNoWriteRows[] = {
    // The trustee is resolved before anything connects.
    {"UnknownAccount",
     {"/A:ADD", "/N", "root\\CCM", "/M", "CONTOSO\\nobody:EXEC_METHODS"},
     NoConnection(),
     nullptr,
     kCcmDescriptor,
     "LsaLookupNames2 returned 1332 None of the account names given could be mapped to a security identifier.\n"},
    // A name without a domain part is looked up on this computer only, where there is no such
    // account: the domain's account of that name is not taken.
    {"IsolatedNameIsLocalOnly",
     {"/A:ADD", "/N", "root\\CCM", "/M", "svc-inventory:EXEC_METHODS"},
     NoConnection(),
     nullptr,
     kCcmDescriptor,
     "LsaLookupNames2 returned 1332 None of the account names given could be mapped to a security identifier.\n"},
    {"EmptyTrustee", {"/A:ADD", "/N", "root\\CCM", "/M", ":EXEC_METHODS"}, NoConnection(), nullptr, kCcmDescriptor, ""},
    {"ContextCannotBeMade", kAdd, Json::array(), {{"WbemContext", "0x80040154"}}, kCcmDescriptor, ""},
    {"ConnectFails", kAdd, NoConnection(), nullptr, kCcmDescriptor,
     "CWMIQuery::Connect: Failed connecting to namespace:root\\CCM, error:WBEM_E_ACCESS_DENIED\n"},
    {"GetObjectFails", kAdd, Faults(Fault("GetObject", nullptr, "0x80041002")), nullptr, kCcmDescriptor,
     "GetObject: Failed, property:__SystemSecurity error:WBEM_E_NOT_FOUND\n"},
    {"GetSDFails", kAdd, Faults(Fault("ExecMethod", "GetSD", "0x80041003")), nullptr, kCcmDescriptor,
     "ExecMethod: Failed, method:GetSD error:WBEM_E_ACCESS_DENIED\n"},
    {"GetSDReturnValueUnreadable", kAdd, Faults(Fault("Get", "ReturnValue", "0x80041001")), nullptr, kCcmDescriptor,
     "GetProperty: Failed, property:ReturnValue error:WBEM_E_FAILED\n"},
    // The same fault, narrowed to GetSD's out-parameters.
    {"GetSDReturnValueUnreadableNarrowed", kAdd,
     Faults({{"namespace", "root\\CCM"},
             {"call", "Get"},
             {"name", "ReturnValue"},
             {"method", "GetSD"},
             {"status", "0x80041001"}}),
     nullptr, kCcmDescriptor, "GetProperty: Failed, property:ReturnValue error:WBEM_E_FAILED\n"},
    {"GetSDRefuses", kAdd, Faults(ReturnValueFault("GetSD", 5)), nullptr, kCcmDescriptor, ""},
    {"SDUnreadable", kAdd, Faults(Fault("Get", "SD", "0x80041006")), nullptr, kCcmDescriptor,
     "GetProperty: Failed, property:SD error:WBEM_E_OUT_OF_MEMORY\n"},
    // SD that is not a byte array is never handed to the conversion.
    {"SDIsNull", kAdd, Faults(ShapeFault("null")), nullptr, kCcmDescriptor,
     "GetProperty: Failed, property:SD error:WBEM_E_TYPE_MISMATCH\n"},
    {"SDIsText", kAdd, Faults(ShapeFault("string")), nullptr, kCcmDescriptor,
     "GetProperty: Failed, property:SD error:WBEM_E_TYPE_MISMATCH\n"},
    {"SDIsAnInt32Array", kAdd, Faults(ShapeFault("int32-array")), nullptr, kCcmDescriptor,
     "GetProperty: Failed, property:SD error:WBEM_E_TYPE_MISMATCH\n"},
    // Bytes that are no descriptor fail the conversion, which names the reason.
    {"SDIsNotADescriptor", kAdd, Faults(ShapeFault("invalid-bytes")), nullptr, kCcmDescriptor,
     "ConvertSecurityDescriptorToStringSecurityDescriptor - The revision level is not one that the system knows.\n"},
    // Text without a DACL part is not repaired: the entry stands after the group, where the
    // conversion refuses it.
    {"NoDaclPart", kAdd, Json::array(), nullptr, "O:BAG:BA",
     "O:BAG:BA \nConvertStringSecurityDescriptorToSecurityDescriptor - The security identifier does not have a "
     "valid structure.\n"},
    {"GetMethodFails", kAdd, Faults(Fault("GetMethod", "SetSD", "0x80041002")), nullptr, kCcmDescriptor,
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \nGetMethod: Failed, method:SetSD error:WBEM_E_NOT_FOUND\n"},
    {"SpawnInstanceFails", kAdd, Faults(Fault("SpawnInstance", nullptr, "0x80041006")), nullptr, kCcmDescriptor,
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \nSpawnInstance: Failed, method:SetSD error:WBEM_E_OUT_OF_MEMORY\n"},
    // The array for the new descriptor cannot be locked: the text was printed, nothing is written.
    {"ArrayCannotBeLocked", kAdd,
     Faults({{"namespace", "root\\CCM"}, {"call", "SafeArrayAccessData"}, {"status", "0x8007000E"}}), nullptr,
     kCcmDescriptor,
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \nSafeArrayAccessData: Failed, error:Memory ran out before the operation could "
     "finish.\n"},
    {"PutFails", kAdd, Faults(Fault("Put", "SD", "0x80041005")), nullptr, kCcmDescriptor,
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \nPutProperty: Failed, property:SD error:WBEM_E_TYPE_MISMATCH\n"},
    {"SetSDFails", kAdd, Faults(Fault("ExecMethod", "SetSD", "0x80041003")), nullptr, kCcmDescriptor,
     "O:BAG:BAD:(A;CI;CCDCRP;;;AU) \nExecMethod: Failed, method:SetSD error:WBEM_E_ACCESS_DENIED\n"},
    // A refusal through ReturnValue leaves only the current text on the output.
    {"SetSDRefuses", kAdd, Faults(ReturnValueFault("SetSD", 5)), nullptr, kCcmDescriptor, kCurrentLine},
};
INSTANTIATE_TEST_SUITE_P(Runs, ModifyNoWriteTest, ::testing::ValuesIn(kNoWriteRows),
                         [](const auto& info) { return std::string(info.param.name); });

// SetSD has run when its ReturnValue cannot be read: the descriptor is written, and the program
// says only that the value could not be read, with no confirmation.
TEST_F(ModifyHostTest, UnreadableReturnValueOfSetSDIsReportedAfterTheWrite) {
  Json host = Host();
  host["faults"] = Faults({{"namespace", "root\\CCM"},
                           {"call", "Get"},
                           {"name", "ReturnValue"},
                           {"method", "SetSD"},
                           {"status", "0x80041001"}});
  WriteHost(host);
  ExpectOutput(std::string(kCurrentLine) + "GetProperty: Failed, property:ReturnValue error:WBEM_E_FAILED\n",
               Run({"/A:ADD", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS|REMOTE_ENABLE", "/R"}));
  EXPECT_EQ(StoredDescriptor(".", {"root", "CCM"}), WithSid("O:BAG:BAD:(A;CI;CCDCRP;;;AU)(A;CI;DCWP;;;<SID>)"));
  EXPECT_EQ(StoredDescriptor(".", {"root", "CCM", "Policy"}),
            WithSid("O:BAG:BAD:(A;CIID;CCDCRP;;;AU)(A;CIID;DCWP;;;<SID>)"));
}

// A name longer than the security authority's strings can describe is refused before the lookup,
// rather than cut to fit and looked up as another name.
TEST_F(ModifyHostTest, OverlongTrusteeIsRefusedWithoutLookup) {
  WriteHost(Host());
  const std::string before = HostFileText();
  ExpectOutput("", Run({"/A:ADD", "/N", "root\\CCM", "/M", std::string(32768, 'a') + ":EXEC_METHODS"}));
  EXPECT_EQ(HostFileText(), before);
}

// /R marks the entry container-inherit; the service hands it down to every sub-namespace, and
// REMOVE with /R of the same rights takes it off them all again.
TEST_F(ModifyHostTest, InheritedEntryReachesSubNamespacesAndGoesAgain) {
  WriteHost(Host());
  const Arguments view = {"/N", "root\\CCM", "/R"};
  const std::string original =
      "Permissions on root\\CCM \nO:BAG:BAD:(A;CI;CCDCRP;;;AU) \n\n"
      "Permissions on root\\CCM\\Policy \nO:BAG:BAD:(A;CIID;CCDCRP;;;AU) \n\n"
      "Permissions on root\\CCM\\Inventory \nO:BAG:BAD:(A;CIID;CCDCRP;;;AU) \n\n"
      "Permissions on root\\CCM\\Inventory\\Sub \nO:BAG:BAD:(A;CIID;CCDCRP;;;AU) \n\n";
  ExpectOutput(original, Run(view));

  ExpectOutput(std::string(kCurrentLine) + "Write security succeeded on root\\CCM for CONTOSO\\svc-inventory.\n",
               Run({"/A:ADD", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS|REMOTE_ENABLE", "/R"}));
  ExpectOutput(WithSid("Permissions on root\\CCM \nO:BAG:BAD:(A;CI;CCDCRP;;;AU)(A;CI;DCWP;;;<SID>) \n\n"
                       "Permissions on root\\CCM\\Policy \nO:BAG:BAD:(A;CIID;CCDCRP;;;AU)(A;CIID;DCWP;;;<SID>) \n\n"
                       "Permissions on root\\CCM\\Inventory \nO:BAG:BAD:(A;CIID;CCDCRP;;;AU)(A;CIID;DCWP;;;<SID>) \n\n"
                       "Permissions on root\\CCM\\Inventory\\Sub \n"
                       "O:BAG:BAD:(A;CIID;CCDCRP;;;AU)(A;CIID;DCWP;;;<SID>) \n\n"),
               Run(view));

  ExpectOutput(WithSid("O:BAG:BAD:(A;CI;CCDCRP;;;AU)(A;CI;DCWP;;;<SID>) \n"
                       "Write security succeeded on root\\CCM for CONTOSO\\svc-inventory.\n"),
               Run({"/A:REMOVE", "/N", "root\\CCM", "/M", "CONTOSO\\svc-inventory:EXEC_METHODS|REMOTE_ENABLE", "/R"}));
  ExpectOutput(original, Run(view));
}

}  // namespace
}  // namespace tessarwick::testing
