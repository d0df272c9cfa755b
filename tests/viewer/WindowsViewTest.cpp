// View mode of the Windows build against the real WMI service (wine's, under the test run): the
// headings and descriptors it prints, and the Connect line for what it cannot reach. The expected
// descriptor is read from the service by the test itself, through the platform's own calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ComPtr.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "platform/UniqueAny.h"
#include "tests/app/ExpectedText.h"
#include "tests/support/OutputCapture.h"
#include "tests/support/ProcessRunner.h"
#include "wmi/ErrorText.h"

namespace tessarwick {
namespace {

using testing::FirstDifference;
using testing::kExpectedBanner;
using testing::RunTessarwick;

// The SDDL text of the namespace's descriptor as the service gives it; empty when it cannot be read.
std::string ServiceDescriptorText(const wchar_t* nameSpace) {
  ComPtr<IWbemLocator> locator;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void())))
    return {};
  UniqueBstr path(SysAllocString(nameSpace));
  ComPtr<IWbemServices> services;
  if (FAILED(locator->ConnectServer(path.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put())))
    return {};
  UniqueBstr objectPath(SysAllocString(L"__SystemSecurity"));
  UniqueBstr method(SysAllocString(L"GetSD"));
  ComPtr<IWbemClassObject> out;
  if (FAILED(services->ExecMethod(objectPath.get(), method.get(), 0, nullptr, nullptr, out.put(), nullptr))) return {};
  UniqueVariant sd;
  if (FAILED(out->Get(L"SD", 0, sd.get(), nullptr, nullptr)) || sd->vt != (VT_ARRAY | VT_UI1)) return {};
  void* bytes = nullptr;
  SafeArrayAccessData(sd->parray, &bytes);
  UniqueLocal<LPWSTR> text;
  BOOL converted =
      ConvertSecurityDescriptorToStringSecurityDescriptorW(bytes, SDDL_REVISION_1, 15, text.put(), nullptr);
  SafeArrayUnaccessData(sd->parray);
  if (!converted) return {};
  std::string narrow;
  std::wstring wide = text.get();
  platform::WideToAnsi(wide.data(), wide.size(), narrow);
  return narrow;
}

class WindowsViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  void SetUp() override { ASSERT_FALSE(testing::TessarwickExecutable().empty()) << "TESSARWICK_EXE is not set"; }

  static void ExpectOutput(const std::vector<std::string>& arguments, const std::string& view) {
    testing::ProcessResult result = RunTessarwick(arguments);
    const std::string expected = kExpectedBanner + view;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, expected) << FirstDifference(expected, result.output);
  }
};

TEST_F(WindowsViewTest, NamespaceHeadingAndDescriptor) {
  const std::string descriptor = ServiceDescriptorText(L"root\\cimv2");
  ASSERT_FALSE(descriptor.empty()) << "the service gives no descriptor for root\\cimv2";
  const std::string entry = "Permissions on root\\cimv2 \n" + descriptor + " \n\n";
  ExpectOutput({"/N", "root\\cimv2"}, entry);
  // Wine's root\cimv2 has no sub-namespaces, so /R adds nothing there.
  ExpectOutput({"/N", "root\\cimv2", "/R"}, entry);
}

TEST_F(WindowsViewTest, NamespaceThatCannotBeConnectedPrintsTheConnectLine) {
  ExpectOutput({"/N", "root\\nosuch"},
               "CWMIQuery::Connect: Failed connecting to namespace:root\\nosuch, error:WBEM_E_INVALID_NAMESPACE\n");
}

TEST_F(WindowsViewTest, UnreachableComputerPrintsTheConnectLine) {
  testing::ProcessResult result = RunTessarwick({"/C", "unreachablehost", "/N", "root\\cimv2"});
  const std::string line =
      "CWMIQuery::Connect: Failed connecting to namespace:\\\\unreachablehost\\root\\cimv2, error:";
  // Wine's locator refuses remote computers with WBEM_E_TRANSPORT_FAILURE; Windows itself reports
  // that the RPC server is unavailable (0x800706BA), which has no WBEM name.
  const std::string wine = kExpectedBanner + line + "WBEM_E_TRANSPORT_FAILURE\n";
  const std::string windows = kExpectedBanner + line + WbemErrorText(static_cast<HRESULT>(0x800706BA)) + "\n";
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(result.output == wine || result.output == windows) << FirstDifference(wine, result.output);
}

}  // namespace
}  // namespace tessarwick
