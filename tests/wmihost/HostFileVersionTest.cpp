// A process parses the host file once per version it sees: every way the file can change between
// two calls, by another process or by hand, whatever its size and times, is seen by the next call,
// and a file that turns corrupt after it was read is reported and left alone.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/portable/wmi/HostStore.h"
#include "tests/wmihost/HostFixture.h"

namespace tessarwick::testing {
namespace {

// Host files of the same length that differ only in the descriptor of root\CCM. Root passes
// nothing down, so what SetSD stores is what it was given.
std::string HostWithCcmTrustee(const char* trustee) {
  return std::string(R"json({"tessarwickHost": 1, "computers": [{"name": ".", "namespaces": {"name": "root", )json") +
         R"json("descriptor": "O:BAG:BAD:(A;;CCDCRP;;;BA)", )json" +
         R"json("children": [{"name": "CCM", "descriptor": "O:BAG:BAD:(A;CI;CCDCRP;;;)json" + trustee + ")\"}]}}]}\n";
}

std::wstring CcmDescriptor(const wchar_t* trustee) {
  return std::wstring(L"O:BAG:BAD:(A;CI;CCDCRP;;;") + trustee + L")";
}

wmihost::HostFileVersion VersionOf(const std::filesystem::path& file) {
  struct stat status {};
  EXPECT_EQ(::stat(file.c_str(), &status), 0);
  wmihost::HostFileVersion version;
  version.device = status.st_dev;
  version.inode = status.st_ino;
  version.size = status.st_size;
  version.modified = status.st_mtim;
  version.changed = status.st_ctim;
  return version;
}

timespec Now() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

// Sets the file's modification time to the one it had, so that only its change time (which no
// one can set) tells the versions apart.
void RestoreModificationTime(const std::filesystem::path& file, const wmihost::HostFileVersion& before) {
  const timespec times[2] = {{0, UTIME_OMIT}, before.modified};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

class HostFileVersionTest : public HostTest {
 protected:
  // Waits until the file's times lie far enough back that the copy made by the next call is
  // trusted without reading the bytes again.
  void WaitUntilSettled() const {
    while (!wmihost::VersionIsSettled(VersionOf(HostFile()), Now()))
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  // Rewrites the file by hand in place: same inode, and the modification time it had.
  void RewriteInPlaceKeepingTimes(const std::string& text) const {
    const wmihost::HostFileVersion before = VersionOf(HostFile());
    WriteHostFile(text);
    RestoreModificationTime(HostFile(), before);
    ASSERT_EQ(VersionOf(HostFile()).size, before.size);
  }

  // Writes a new file beside the host file, gives it the host file's modification time and
  // renames it over the host file, as an editor that saves through a temporary file does.
  void ReplaceByRenameKeepingTimes(const std::string& text) const {
    const wmihost::HostFileVersion before = VersionOf(HostFile());
    const std::filesystem::path replacement = HostFile().string() + ".edited";
    std::ofstream(replacement, std::ios::binary) << text;
    RestoreModificationTime(replacement, before);
    ASSERT_EQ(std::rename(replacement.c_str(), HostFile().c_str()), 0);
  }

  // SetSD of root\CCM in another process.
  void WriteInAnotherProcess(const wchar_t* sddl) const {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ComPtr<IWbemServices> services;
      bool ok = SUCCEEDED(Connect(L"root\\CCM", services)) && WriteSddl(services.get(), sddl) == 0;
      services.reset();
      ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
};

enum class Change { AnotherProcess, InPlaceSameSizeAndTime, RenamedOverSameSizeAndTime, InPlaceAfterOwnWrite };

TEST_F(HostFileVersionTest, EveryChangeBetweenTwoCallsIsSeenByTheSecond) {
  struct Row {
    const char* name;
    Change change;
    bool settled;  // the first call's copy is one the host trusts on the file's version alone
  };
  const Row rows[] = {
      {"another process's SetSD, at once", Change::AnotherProcess, false},
      {"another process's SetSD, once settled", Change::AnotherProcess, true},
      {"in place with the same size and time, at once", Change::InPlaceSameSizeAndTime, false},
      {"in place with the same size and time, once settled", Change::InPlaceSameSizeAndTime, true},
      {"renamed over with the same size and time, at once", Change::RenamedOverSameSizeAndTime, false},
      {"renamed over with the same size and time, once settled", Change::RenamedOverSameSizeAndTime, true},
      {"in place after this process wrote, at once", Change::InPlaceAfterOwnWrite, false},
      {"in place after this process wrote, once settled", Change::InPlaceAfterOwnWrite, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteHostFile(HostWithCcmTrustee("AU"));
    ComPtr<IWbemServices> ccm = Connect(L"root\\CCM");
    ASSERT_TRUE(ccm);
    std::wstring first = CcmDescriptor(L"AU");
    if (row.change == Change::InPlaceAfterOwnWrite) {
      ASSERT_EQ(WriteSddl(ccm.get(), CcmDescriptor(L"WD").c_str()), 0);
      first = CcmDescriptor(L"WD");
    }
    if (row.settled) WaitUntilSettled();
    EXPECT_EQ(ReadSddl(ccm.get()), first);

    switch (row.change) {
      case Change::AnotherProcess:
        WriteInAnotherProcess(CcmDescriptor(L"BU").c_str());
        break;
      case Change::InPlaceSameSizeAndTime:
        RewriteInPlaceKeepingTimes(HostWithCcmTrustee("BU"));
        break;
      case Change::RenamedOverSameSizeAndTime:
        ReplaceByRenameKeepingTimes(HostWithCcmTrustee("BU"));
        break;
      case Change::InPlaceAfterOwnWrite: {
        // The host's own layout, with the one descriptor edited to another of the same length.
        std::string text = ReadHostFile();
        const std::string written = "(A;CI;CCDCRP;;;WD)";
        std::size_t at = text.find(written);
        ASSERT_NE(at, std::string::npos) << text;
        text.replace(at, written.size(), "(A;CI;CCDCRP;;;BU)");
        RewriteInPlaceKeepingTimes(text);
        break;
      }
    }
    EXPECT_EQ(ReadSddl(ccm.get()), CcmDescriptor(L"BU"));
    // A write of this process now starts from what the file holds, and keeps it.
    ComPtr<IWbemServices> root = Connect(L"root");
    ASSERT_EQ(WriteSddl(root.get(), L"O:BAG:BAD:(A;;CC;;;SY)"), 0);
    EXPECT_EQ(ReadSddl(ccm.get()), CcmDescriptor(L"BU"));
    EXPECT_NE(ReadHostFile().find("(A;CI;CCDCRP;;;BU)"), std::string::npos);
  }
}

TEST_F(HostFileVersionTest, AFileThatTurnsCorruptAfterItWasReadIsReportedByEachCallAndLeftAsItIs) {
  struct Row {
    const char* name;
    bool settled;
  };
  const Row rows[] = {{"at once", false}, {"once settled", true}};
  // As long as the good file, so that only the times and the bytes tell them apart.
  std::string corrupt = HostWithCcmTrustee("AU");
  corrupt.replace(corrupt.find("tessarwickHost"), 14, "tessarwickHosT");
  const std::string diagnostic =
      "Tessarwick: host file " + HostFile().string() + ": top level: unknown key \"tessarwickHosT\"\n";
  UniqueBstr systemSecurity = Bstr(L"__SystemSecurity");
  UniqueBstr getSD = Bstr(L"GetSD");
  UniqueBstr setSD = Bstr(L"SetSD");

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteHostFile(HostWithCcmTrustee("AU"));
    ComPtr<IWbemServices> ccm = Connect(L"root\\CCM");
    ASSERT_TRUE(ccm);
    // SetSD's in-parameters, made while the file is good.
    ComPtr<IWbemClassObject> securityClass;
    ASSERT_EQ(ccm->GetObject(systemSecurity.get(), 0, nullptr, securityClass.put(), nullptr), S_OK);
    ComPtr<IWbemClassObject> inClass;
    ASSERT_EQ(securityClass->GetMethod(L"SetSD", 0, inClass.put(), nullptr), S_OK);
    ComPtr<IWbemClassObject> in;
    ASSERT_EQ(inClass->SpawnInstance(0, in.put()), S_OK);
    const std::vector<BYTE> bytes = SddlBytes(L"O:BAG:BAD:(A;;CC;;;WD)");
    UniqueVariant sd;
    sd->vt = VT_ARRAY | VT_UI1;
    sd->parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    void* data = nullptr;
    SafeArrayAccessData(sd->parray, &data);
    std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(sd->parray);
    ASSERT_EQ(in->Put(L"SD", 0, sd.get(), 0), S_OK);
    if (row.settled) WaitUntilSettled();
    EXPECT_EQ(ReadSddl(ccm.get()), CcmDescriptor(L"AU"));

    RewriteInPlaceKeepingTimes(corrupt);
    struct Call {
      const char* name;
      std::function<HRESULT()> run;
    };
    const Call calls[] = {
        {"GetSD",
         [&] {
           ComPtr<IWbemClassObject> out;
           return ccm->ExecMethod(systemSecurity.get(), getSD.get(), 0, nullptr, nullptr, out.put(), nullptr);
         }},
        {"GetSD again",
         [&] {
           ComPtr<IWbemClassObject> out;
           return ccm->ExecMethod(systemSecurity.get(), getSD.get(), 0, nullptr, nullptr, out.put(), nullptr);
         }},
        {"SetSD",
         [&] {
           ComPtr<IWbemClassObject> out;
           return ccm->ExecMethod(systemSecurity.get(), setSD.get(), 0, nullptr, in.get(), out.put(), nullptr);
         }},
        {"ConnectServer",
         [&] {
           ComPtr<IWbemServices> again;
           return Connect(L"root\\CCM", again);
         }},
    };
    for (const Call& call : calls) {
      SCOPED_TRACE(call.name);
      ::testing::internal::CaptureStderr();
      HRESULT status = call.run();
      EXPECT_EQ(::testing::internal::GetCapturedStderr(), diagnostic);
      EXPECT_EQ(status, static_cast<HRESULT>(WBEM_E_INITIALIZATION_FAILURE));
    }
    EXPECT_EQ(ReadHostFile(), corrupt);

    // Mended by hand, the file is read again.
    RewriteInPlaceKeepingTimes(HostWithCcmTrustee("BU"));
    EXPECT_EQ(ReadSddl(ccm.get()), CcmDescriptor(L"BU"));
  }
}

// When the host may take a copy as the file's content on its version alone: only once the file's
// times lie clearly before the moment the copy was read, so that any later write, however soon
// after the read and however short the clock's tick, shows a later time.
TEST(HostFileVersionRuleTest, AVersionIsSettledOnlyWhenItsTimesLieClearlyBeforeTheRead) {
  const timespec readAt{1'700'000'000, 500'000'000};
  auto at = [](long long seconds, long nanoseconds) { return timespec{static_cast<time_t>(seconds), nanoseconds}; };
  struct Row {
    const char* name;
    timespec modified;
    timespec changed;
    bool settled;
  };
  const Row rows[] = {
      {"written in the same tick as the read", at(1'700'000'000, 498'000'000), at(1'700'000'000, 498'000'000), false},
      {"written a second before the read", at(1'699'999'999, 500'000'000), at(1'699'999'999, 500'000'000), true},
      {"modification time set back, changed just now", at(1'600'000'000, 1), at(1'700'000'000, 499'000'000), false},
      {"modification time in the future", at(1'800'000'000, 1), at(1'699'999'999, 1), false},
      {"whole seconds, one second before the read", at(1'699'999'999, 0), at(1'699'999'999, 0), false},
      {"whole seconds, ten seconds before the read", at(1'699'999'990, 0), at(1'699'999'990, 0), true},
  };
  for (const Row& row : rows) {
    wmihost::HostFileVersion version;
    version.modified = row.modified;
    version.changed = row.changed;
    EXPECT_EQ(wmihost::VersionIsSettled(version, readAt), row.settled) << row.name;
  }
}

}  // namespace
}  // namespace tessarwick::testing
