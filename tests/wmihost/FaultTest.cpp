// Each kind of fault, injected in-process and through the host file.
#include <algorithm>
#include <vector>

#include "tests/wmihost/HostFixture.h"

namespace tessarwick::testing {
namespace {

using wmihost::Fault;
using wmihost::HostCall;

constexpr HRESULT kAccessDenied = static_cast<HRESULT>(WBEM_E_ACCESS_DENIED);

class FaultTest : public HostTest {
 protected:
  // Makes the call named by `call` on objects of root\CIMV2 the way the program does, and
  // returns the status of that call.
  HRESULT Exercise(HostCall call) const {
    ComPtr<IWbemServices> services;
    HRESULT status = Connect(L"root\\CIMV2", services);
    if (call == HostCall::ConnectServer) return status;
    if (FAILED(status)) return E_UNEXPECTED;
    if (call == HostCall::CoSetProxyBlanket) return CoSetProxyBlanket(services.get(), 10, 0, nullptr, 4, 3, nullptr, 0);
    UniqueBstr language = Bstr(L"WQL");
    UniqueBstr query = Bstr(L"SELECT * FROM __NAMESPACE");
    ComPtr<IEnumWbemClassObject> results;
    status = services->ExecQuery(language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY, nullptr, results.put());
    if (call == HostCall::ExecQuery) return status;
    ComPtr<IWbemClassObject> child;
    ULONG returned = 0;
    status = results->Next(static_cast<LONG>(WBEM_INFINITE), 1, child.put(), &returned);
    if (call == HostCall::Next) return status;
    ComPtr<IWbemClassObject> copy;
    status = child->Clone(copy.put());
    if (call == HostCall::Clone) return status;
    UniqueVariant name;
    status = child->Get(L"Name", 0, name.get(), nullptr, nullptr);
    if (call == HostCall::Get) return status;
    UniqueBstr path = Bstr(L"__SystemSecurity");
    ComPtr<IWbemClassObject> systemSecurity;
    status = services->GetObject(path.get(), 0, nullptr, systemSecurity.put(), nullptr);
    if (call == HostCall::GetObject) return status;
    UniqueBstr method = Bstr(L"GetSD");
    ComPtr<IWbemClassObject> out;
    status = services->ExecMethod(path.get(), method.get(), 0, nullptr, nullptr, out.put(), nullptr);
    if (call == HostCall::ExecMethod) return status;
    ComPtr<IWbemClassObject> inClass;
    status = systemSecurity->GetMethod(L"SetSD", 0, inClass.put(), nullptr);
    if (call == HostCall::GetMethod) return status;
    ComPtr<IWbemClassObject> in;
    status = inClass->SpawnInstance(0, in.put());
    if (call == HostCall::SpawnInstance) return status;
    UniqueSafeArray array(SafeArrayCreateVector(VT_UI1, 0, 20));
    void* data = nullptr;
    status = SafeArrayAccessData(array.get(), &data);
    if (SUCCEEDED(status)) SafeArrayUnaccessData(array.get());
    if (call == HostCall::SafeArrayAccessData) return status;
    UniqueVariant nothing;
    nothing->vt = VT_NULL;
    status = in->Put(L"SD", 0, nothing.get(), 0);
    if (call == HostCall::Put) return status;
    UniqueBstr namespacePath = Bstr(L"__NAMESPACE.Name=\"Security\"");
    ComPtr<IWbemClassObject> instance;
    if (FAILED(services->GetObject(namespacePath.get(), 0, nullptr, instance.put(), nullptr))) return E_UNEXPECTED;
    status = services->PutInstance(instance.get(), 0, nullptr, nullptr);
    if (call == HostCall::PutInstance) return status;
    return services->DeleteInstance(namespacePath.get(), 0, nullptr, nullptr);
  }
};

TEST_F(FaultTest, EachCallFailsWithItsInjectedStatusAndOnlyInItsNamespace) {
  const HostCall calls[] = {HostCall::ConnectServer,
                            HostCall::ExecQuery,
                            HostCall::GetObject,
                            HostCall::ExecMethod,
                            HostCall::GetMethod,
                            HostCall::SpawnInstance,
                            HostCall::Put,
                            HostCall::Get,
                            HostCall::Next,
                            HostCall::Clone,
                            HostCall::CoSetProxyBlanket,
                            HostCall::PutInstance,
                            HostCall::DeleteInstance,
                            HostCall::SafeArrayAccessData};
  for (HostCall call : calls) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(wmihost::HostCallName(call))));
    wmihost::ClearFaults();
    std::filesystem::remove(HostFile());
    EXPECT_TRUE(SUCCEEDED(Exercise(call)));
    Fault elsewhere;
    elsewhere.namespacePath = L"root\\WMI";
    elsewhere.call = call;
    elsewhere.status = kAccessDenied;
    wmihost::InjectFault(elsewhere);
    std::filesystem::remove(HostFile());
    EXPECT_TRUE(SUCCEEDED(Exercise(call)));
    Fault here = elsewhere;
    here.namespacePath = L"ROOT/cimv2";
    wmihost::InjectFault(here);
    std::filesystem::remove(HostFile());
    EXPECT_EQ(Exercise(call), kAccessDenied);
  }
}

TEST_F(FaultTest, FaultsOfTheHostFileApplyToTheNamedPropertyMethodOrObject) {
  WriteHostFile(R"json({"tessarwickHost": 1, "faults": [
    {"namespace": "root", "call": "Get", "name": "Name", "object": "CIMV2", "status": "0x80041002"},
    {"namespace": "root", "call": "ExecMethod", "name": "SetSD", "status": "0x80041003"}]})json");
  ComPtr<IWbemServices> root = Connect(L"root");
  UniqueBstr language = Bstr(L"WQL");
  UniqueBstr query = Bstr(L"SELECT * FROM __NAMESPACE");
  ComPtr<IEnumWbemClassObject> results;
  ASSERT_EQ(root->ExecQuery(language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY, nullptr, results.put()), S_OK);
  std::vector<HRESULT> statuses;
  for (;;) {
    ComPtr<IWbemClassObject> child;
    ULONG returned = 0;
    results->Next(static_cast<LONG>(WBEM_INFINITE), 1, child.put(), &returned);
    if (returned == 0) break;
    UniqueVariant name;
    statuses.push_back(child->Get(L"Name", 0, name.get(), nullptr, nullptr));
  }
  std::vector<HRESULT> expected(8, S_OK);
  expected[2] = static_cast<HRESULT>(WBEM_E_NOT_FOUND);
  EXPECT_EQ(statuses, expected);
  // GetSD is untouched; SetSD fails.
  EXPECT_EQ(ReadSddl(root.get()).substr(0, 10), L"O:BAG:BAD:");
  EXPECT_EQ(WriteSddl(root.get(), L"O:BAG:BAD:(A;;CC;;;WD)"), kAccessDenied);
}

TEST_F(FaultTest, MethodsCanReturnAFailingReturnValue) {
  for (const wchar_t* method : {L"GetSD", L"SetSD"}) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(method)));
    wmihost::ClearFaults();
    Fault fault;
    fault.namespacePath = L"root\\CCM";
    fault.call = HostCall::ExecMethod;
    fault.name = method;
    fault.returnValue = 5;
    wmihost::InjectFault(fault);
    ComPtr<IWbemServices> ccm = Connect(L"root\\CCM");
    UniqueBstr path = Bstr(L"__SystemSecurity");
    UniqueBstr name = Bstr(method);
    ComPtr<IWbemClassObject> in;
    if (std::wstring(method) == L"SetSD") {
      ComPtr<IWbemClassObject> systemSecurity;
      ComPtr<IWbemClassObject> inClass;
      ASSERT_EQ(ccm->GetObject(path.get(), 0, nullptr, systemSecurity.put(), nullptr), S_OK);
      ASSERT_EQ(systemSecurity->GetMethod(L"SetSD", 0, inClass.put(), nullptr), S_OK);
      ASSERT_EQ(inClass->SpawnInstance(0, in.put()), S_OK);
    }
    ComPtr<IWbemClassObject> out;
    ASSERT_EQ(ccm->ExecMethod(path.get(), name.get(), 0, nullptr, in.get(), out.put(), nullptr), S_OK);
    UniqueVariant value;
    ASSERT_EQ(out->Get(L"ReturnValue", 0, value.get(), nullptr, nullptr), S_OK);
    EXPECT_EQ(value->lVal, 5);
  }
  EXPECT_FALSE(std::filesystem::exists(HostFile()));
}

TEST_F(FaultTest, GetSDCanGiveAnSDThatIsNotAByteArray) {
  struct Row {
    const char* name;
    const char* shape;
    VARTYPE type;
  };
  const Row rows[] = {
      {"null", "null", VT_NULL}, {"string", "string", VT_BSTR}, {"int32 array", "int32-array", VT_ARRAY | VT_I4}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteHostFile(
        std::string(
            R"json({"tessarwickHost": 1, "faults": [{"namespace": "root", "call": "ExecMethod", "name": "GetSD", "sd": ")json") +
        row.shape + "\"}]}");
    ComPtr<IWbemServices> root = Connect(L"root");
    UniqueBstr path = Bstr(L"__SystemSecurity");
    UniqueBstr method = Bstr(L"GetSD");
    ComPtr<IWbemClassObject> out;
    ASSERT_EQ(root->ExecMethod(path.get(), method.get(), 0, nullptr, nullptr, out.put(), nullptr), S_OK);
    UniqueVariant value;
    ASSERT_EQ(out->Get(L"SD", 0, value.get(), nullptr, nullptr), S_OK);
    EXPECT_EQ(value->vt, row.type);
  }
}

// GetSD's SD as an array of bytes that is no descriptor, from the file and in-process: as long as
// the namespace's descriptor, refused by the conversion at its revision.
TEST_F(FaultTest, GetSDCanGiveBytesThatAreNotADescriptor) {
  const std::vector<BYTE> stored = SddlBytes(
      L"O:BAG:BAD:(A;CIID;CCDCLCSWRPWPRCWD;;;BA)(A;CIID;CCDCRP;;;NS)(A;CIID;CCDCRP;;;LS)(A;CIID;CCDCRP;;;AU)");
  for (const bool inProcess : {false, true}) {
    SCOPED_TRACE(inProcess ? "in-process" : "host file");
    wmihost::ClearFaults();
    if (inProcess) {
      std::filesystem::remove(HostFile());
      Fault fault;
      fault.namespacePath = L"root\\WMI";
      fault.call = HostCall::ExecMethod;
      fault.name = L"GetSD";
      fault.sdShape = wmihost::SdShape::InvalidBytes;
      wmihost::InjectFault(fault);
    } else {
      WriteHostFile(R"json({"tessarwickHost": 1, "faults": [
        {"namespace": "root\\WMI", "call": "ExecMethod", "name": "GetSD", "sd": "invalid-bytes"}]})json");
    }
    ComPtr<IWbemServices> wmi = Connect(L"root\\WMI");
    UniqueBstr path = Bstr(L"__SystemSecurity");
    UniqueBstr method = Bstr(L"GetSD");
    ComPtr<IWbemClassObject> out;
    ASSERT_EQ(wmi->ExecMethod(path.get(), method.get(), 0, nullptr, nullptr, out.put(), nullptr), S_OK);
    UniqueVariant value;
    ASSERT_EQ(out->Get(L"ReturnValue", 0, value.get(), nullptr, nullptr), S_OK);
    EXPECT_EQ(value->lVal, 0);
    ASSERT_EQ(out->Get(L"SD", 0, value.reset(), nullptr, nullptr), S_OK);
    ASSERT_EQ(value->vt, VT_ARRAY | VT_UI1);
    ASSERT_EQ(value->parray->rgsabound[0].cElements, stored.size());
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(value->parray, &data), S_OK);
    std::vector<BYTE> bytes(static_cast<BYTE*>(data), static_cast<BYTE*>(data) + stored.size());
    UniqueLocal<LPWSTR> text;
    SetLastError(0);
    EXPECT_FALSE(ConvertSecurityDescriptorToStringSecurityDescriptorW(data, SDDL_REVISION_1, 15, text.put(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_UNKNOWN_REVISION);
    SafeArrayUnaccessData(value->parray);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_TRUE(std::equal(bytes.begin() + 1, bytes.end(), stored.begin() + 1));
    // Only that namespace's SD is spoilt.
    EXPECT_EQ(ReadSddl(Connect(L"root").get()).substr(0, 10), L"O:BAG:BAD:");
  }
}

// The lock of the array that carries SetSD's new descriptor can fail: the spawn of SetSD's
// in-parameters arms the failure, the next lock takes it, and the one after succeeds.
TEST_F(FaultTest, TheLockAfterSpawningSetSDsInParametersCanFail) {
  constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x8007000Eu);
  for (const bool inProcess : {false, true}) {
    SCOPED_TRACE(inProcess ? "in-process" : "host file");
    wmihost::ClearFaults();
    if (inProcess) {
      std::filesystem::remove(HostFile());
      Fault fault;
      fault.namespacePath = L"root\\CCM";
      fault.call = HostCall::SafeArrayAccessData;
      fault.status = kOutOfMemory;
      wmihost::InjectFault(fault);
    } else {
      WriteHostFile(R"json({"tessarwickHost": 1, "faults": [
        {"namespace": "root\\CCM", "call": "SafeArrayAccessData", "status": "0x8007000E"}]})json");
    }
    UniqueSafeArray array(SafeArrayCreateVector(VT_UI1, 0, 20));
    void* data = nullptr;
    auto lock = [&] {
      HRESULT status = SafeArrayAccessData(array.get(), &data);
      if (SUCCEEDED(status)) SafeArrayUnaccessData(array.get());
      return status;
    };
    auto spawnSetSDParameters = [&](const wchar_t* path) {
      ComPtr<IWbemServices> services = Connect(path);
      UniqueBstr className = Bstr(L"__SystemSecurity");
      ComPtr<IWbemClassObject> systemSecurity;
      ComPtr<IWbemClassObject> inClass;
      ComPtr<IWbemClassObject> in;
      EXPECT_EQ(services->GetObject(className.get(), 0, nullptr, systemSecurity.put(), nullptr), S_OK);
      EXPECT_EQ(systemSecurity->GetMethod(L"SetSD", 0, inClass.put(), nullptr), S_OK);
      EXPECT_EQ(inClass->SpawnInstance(0, in.put()), S_OK);
    };
    // Spawning another class, or SetSD's in-parameters of another namespace, arms nothing.
    {
      ComPtr<IWbemServices> ccm = Connect(L"root\\CCM");
      UniqueBstr className = Bstr(L"__NAMESPACE");
      ComPtr<IWbemClassObject> namespaceClass;
      ComPtr<IWbemClassObject> instance;
      ASSERT_EQ(ccm->GetObject(className.get(), 0, nullptr, namespaceClass.put(), nullptr), S_OK);
      ASSERT_EQ(namespaceClass->SpawnInstance(0, instance.put()), S_OK);
    }
    EXPECT_EQ(lock(), S_OK);
    spawnSetSDParameters(L"root\\CIMV2");
    EXPECT_EQ(lock(), S_OK);
    // The lock right after the spawn fails and leaves the array unlocked; the next one succeeds.
    spawnSetSDParameters(L"root\\CCM");
    EXPECT_EQ(lock(), kOutOfMemory);
    EXPECT_EQ(array.get()->cLocks, 0u);
    EXPECT_EQ(lock(), S_OK);
    // A failure armed and not taken goes with the faults.
    spawnSetSDParameters(L"root\\CCM");
    wmihost::ClearFaults();
    EXPECT_EQ(lock(), S_OK);
  }
  EXPECT_FALSE(std::filesystem::exists(HostFile()));
}

// A Get fault with a method applies only to the out-parameters of that method's ExecMethod (and
// their clones). SetSD has stored the descriptor when its ReturnValue cannot be read.
TEST_F(FaultTest, AGetFaultCanBeNarrowedToTheOutParametersOfOneMethod) {
  constexpr HRESULT kFailed = static_cast<HRESULT>(WBEM_E_FAILED);
  for (const bool inProcess : {false, true}) {
    for (const wchar_t* method : {L"GetSD", L"SetSD"}) {
      const bool onGetSD = std::wstring(method) == L"GetSD";
      SCOPED_TRACE(::testing::PrintToString(std::wstring(method) + (inProcess ? L" in-process" : L" host file")));
      wmihost::ClearFaults();
      std::filesystem::remove(HostFile());
      if (inProcess) {
        Fault fault;
        fault.namespacePath = L"root\\CCM";
        fault.call = HostCall::Get;
        fault.method = method;
        fault.status = kFailed;
        wmihost::InjectFault(fault);
      } else {
        WriteHostFile(std::string(R"json({"tessarwickHost": 1, "faults": [
          {"namespace": "root\\CCM", "call": "Get", "method": ")json") +
                      (onGetSD ? "getsd" : "SetSD") + R"json(", "status": "0x80041001"}]})json");
      }
      ComPtr<IWbemServices> ccm = Connect(L"root\\CCM");
      UniqueBstr path = Bstr(L"__SystemSecurity");
      UniqueBstr getSD = Bstr(L"GetSD");
      UniqueBstr setSD = Bstr(L"SetSD");
      ComPtr<IWbemClassObject> systemSecurity;
      ASSERT_EQ(ccm->GetObject(path.get(), 0, nullptr, systemSecurity.put(), nullptr), S_OK);
      UniqueVariant value;
      // Other objects of the namespace are not touched.
      EXPECT_EQ(systemSecurity->Get(L"__CLASS", 0, value.reset(), nullptr, nullptr), S_OK);

      ComPtr<IWbemClassObject> getOut;
      ASSERT_EQ(ccm->ExecMethod(path.get(), getSD.get(), 0, nullptr, nullptr, getOut.put(), nullptr), S_OK);
      ComPtr<IWbemClassObject> getOutCopy;
      ASSERT_EQ(getOut->Clone(getOutCopy.put()), S_OK);
      EXPECT_EQ(getOut->Get(L"ReturnValue", 0, value.reset(), nullptr, nullptr), onGetSD ? kFailed : S_OK);
      EXPECT_EQ(getOutCopy->Get(L"SD", 0, value.reset(), nullptr, nullptr), onGetSD ? kFailed : S_OK);

      ComPtr<IWbemClassObject> inClass;
      ComPtr<IWbemClassObject> in;
      ASSERT_EQ(systemSecurity->GetMethod(L"SetSD", 0, inClass.put(), nullptr), S_OK);
      ASSERT_EQ(inClass->SpawnInstance(0, in.put()), S_OK);
      UniqueVariant sd;
      sd->vt = VT_ARRAY | VT_UI1;
      const std::vector<BYTE> bytes = SddlBytes(L"O:BAG:BAD:(A;;CC;;;WD)");
      sd->parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
      void* data = nullptr;
      ASSERT_EQ(SafeArrayAccessData(sd->parray, &data), S_OK);
      std::copy(bytes.begin(), bytes.end(), static_cast<BYTE*>(data));
      SafeArrayUnaccessData(sd->parray);
      // The in-parameters are not out-parameters of SetSD.
      ASSERT_EQ(in->Put(L"SD", 0, sd.get(), 0), S_OK);
      EXPECT_EQ(in->Get(L"SD", 0, value.reset(), nullptr, nullptr), S_OK);
      ComPtr<IWbemClassObject> setOut;
      ASSERT_EQ(ccm->ExecMethod(path.get(), setSD.get(), 0, nullptr, in.get(), setOut.put(), nullptr), S_OK);
      EXPECT_EQ(setOut->Get(L"ReturnValue", 0, value.reset(), nullptr, nullptr), onGetSD ? S_OK : kFailed);
      if (!onGetSD) {
        wmihost::ClearFaults();
        EXPECT_EQ(ReadSddl(ccm.get()).substr(0, 32), L"O:BAG:BAD:(A;;CC;;;WD)(A;CIID;CC");
      }
    }
  }
}

TEST_F(FaultTest, LocatorAndContextCreationCanFail) {
  ComPtr<IUnknown> object;
  wmihost::FailCreation(CLSID_WbemLocator, REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, object.put_void()),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemContext, object.put_void()),
            S_OK);
  wmihost::ClearFaults();
  WriteHostFile(R"json({"tessarwickHost": 1, "creationFailures": {"WbemContext": "0x80004005"}})json");
  EXPECT_EQ(CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemContext, object.put_void()),
            E_FAIL);
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, object.put_void()),
            S_OK);
}

}  // namespace
}  // namespace tessarwick::testing
