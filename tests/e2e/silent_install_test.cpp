// The unattended install end to end: the real ParlomindSetup.exe under Wine
// against the local package server, with the demo package and its uninstaller.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/command_line.h"
#include "app/install_location.h"
#include "app/settings.h"
#include "app/silent_install.h"
#include "tests/support/process.h"
#include "utils/handle.h"
#include "utils/text.h"

using namespace TestSupport;

namespace {
const std::wstring kStateDir = Utils::ToWide(E2E_STATE_DIR, CP_UTF8);

std::string ReadText(const std::wstring& path) {
  std::string s;
  ReadFileBytes(path, &s);
  return s;
}

std::wstring PackageUrl(const std::string& pathOverride = "") {
  const std::string port = ReadText(kStateDir + L"\\port");
  std::istringstream urls(ReadText(kStateDir + L"\\urls"));
  std::string name, path;
  while (urls >> name >> path)
    if (name == "demo_package.exe") break;
  return Utils::ToWide("http://127.0.0.1:" + port + (pathOverride.empty() ? path : pathOverride), CP_UTF8);
}

std::wstring RegistryValue(const wchar_t* name) {
  InstallLocation location;
  std::wstring value;
  location.ReadRegistryString(name, &value);
  return value;
}

std::wstring IniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
  wchar_t buffer[512] = {};
  GetPrivateProfileStringW(section, key, L"", buffer, 512, file.c_str());
  return buffer;
}

size_t CountRequests() {
  std::istringstream log(ReadText(kStateDir + L"\\requests.log"));
  size_t n = 0;
  for (std::string line; std::getline(log, line);) ++n;
  return n;
}

class SilentInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kProductRegistryKey);
    logPath_ = dir_.File(L"setup.log");
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kProductRegistryKey); }

  std::wstring Command(const std::wstring& extra, const std::wstring& url = PackageUrl()) const {
    return Quote(BinDir() + L"\\ParlomindSetup.exe") + L" -silent -log=" + Quote(logPath_) + L" -downloadurl=" + url +
           L" -installdir=" + Quote(dir_.Path()) + L" " + extra;
  }
  DWORD Run(const std::wstring& extra = L"", const std::wstring& url = PackageUrl()) const {
    return RunAndWait(Command(extra, url), 120000);
  }
  std::wstring Folder() const { return dir_.File(L"parlomind"); }
  std::string Log() const { return ReadText(logPath_); }
  bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }
  bool PackageLeft() const { return FileExists(Folder() + L"\\__Package_parlomind.exe"); }

  TempDir dir_;
  std::wstring logPath_;
};

TEST_F(SilentInstall, FirstInstallRecordsEverything) {
  ASSERT_EQ(0u, Run());
  EXPECT_TRUE(FileExists(Folder() + L"\\parlomind.exe"));
  EXPECT_TRUE(FileExists(Folder() + L"\\uninst.ep"));
  EXPECT_FALSE(PackageLeft()) << "the package is deleted after the run";

  EXPECT_EQ(Folder(), RegistryValue(L"InstallPath"));
  EXPECT_EQ(Folder() + L"\\uninst.ep", RegistryValue(L"UnInstallEp"));

  const std::wstring setIni = Folder() + L"\\set.ini";
  EXPECT_EQ(L"ParlomindSetup.exe", IniValue(setIni, L"Install", L"APPStore"));
  EXPECT_EQ(L"parlomind", IniValue(setIni, L"Install", L"AppName"));
  EXPECT_EQ(32u, IniValue(setIni, L"Install", L"DeviceID").size());
  const std::wstring analytics = IniValue(setIni, L"Install", L"ZEDoveravEzidizizoIni");
  EXPECT_EQ(ProductDataDir() + L"\\ZEDoveravEzidizizo.ini", analytics);
  EXPECT_EQ(19u, IniValue(analytics, L"Init", L"UpdateTime").size());

  // The log file holds the chain's lines in order, as UTF-8.
  const std::string log = Log();
  const size_t start = log.find("DL_CODE_START"), done = log.find("DOWNLOAD_SUCCESS"),
               installed = log.find("INSTALL_SUCCESS");
  ASSERT_NE(std::string::npos, start) << log;
  EXPECT_LT(start, done);
  EXPECT_LT(done, installed);
  EXPECT_EQ(std::string::npos, log.find("UNIST_CODE")) << "nothing to remove on a first install";
}

TEST_F(SilentInstall, EveryDownloaderDeliversThePackage) {
  for (const wchar_t* type : {L"-downloadtype=1", L"-downloadtype=2", L"-downloadtype=3"}) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kProductRegistryKey);
    EXPECT_EQ(0u, Run(type)) << Utils::ToNarrow(type, CP_UTF8);
    EXPECT_TRUE(FileExists(Folder() + L"\\parlomind.exe"));
    EXPECT_FALSE(PackageLeft());
    EXPECT_EQ(Folder(), RegistryValue(L"InstallPath"));
  }
}

TEST_F(SilentInstall, RenamedInstallerRecordsItsOwnName) {
  const std::wstring renamed = dir_.File(L"Parlomind Setup (2).exe");
  ASSERT_TRUE(CopyFileTo(BinDir() + L"\\ParlomindSetup.exe", renamed));
  const std::wstring command = Quote(renamed) + L" -silent -downloadurl=" + PackageUrl() + L" -installdir=" +
                               Quote(dir_.Path());
  ASSERT_EQ(0u, RunAndWait(command, 120000));
  EXPECT_EQ(L"Parlomind Setup (2).exe", IniValue(Folder() + L"\\set.ini", L"Install", L"APPStore"));
}

TEST_F(SilentInstall, UpdateRemovesTheOldVersionThroughItsUninstallerCopyFirst) {
  ASSERT_EQ(0u, Run());
  const std::wstring firstLog = logPath_;
  logPath_ = dir_.File(L"update.log");
  ASSERT_EQ(0u, Run());
  const std::string log = Log();
  const size_t removed = log.find("UNIST_CODE_SUCCESS"), downloaded = log.find("DL_CODE_START");
  ASSERT_NE(std::string::npos, removed) << log;
  EXPECT_LT(removed, downloaded) << "removal comes before the download";
  EXPECT_TRUE(FileExists(Folder() + L"\\parlomind.exe")) << "the new version is in place";
  EXPECT_FALSE(PackageLeft());
}

TEST_F(SilentInstall, IsOverrideFalseSkipsTheRemoval) {
  ASSERT_EQ(0u, Run());
  ASSERT_TRUE(WritePrivateProfileStringW(L"Uninstall", L"IsOverride", L"false", (Folder() + L"\\set.ini").c_str()));
  logPath_ = dir_.File(L"again.log");
  ASSERT_EQ(0u, Run());
  EXPECT_FALSE(Logged("UNIST_CODE")) << Log();
  EXPECT_TRUE(Logged("INSTALL_SUCCESS"));
}

TEST_F(SilentInstall, FailedRemovalStopsTheChainBeforeAnyDownload) {
  // An earlier installation whose uninstaller cannot be started.
  ASSERT_TRUE(CreateDirectoryW(Folder().c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(Folder() + L"\\uninst.ep", "this is not a program"));
  InstallLocation record;
  ASSERT_TRUE(record.WriteRegistryString(L"InstallPath", Folder()));
  const size_t before = CountRequests();
  EXPECT_EQ(4u, Run());
  EXPECT_TRUE(Logged("UNIST_CODE_FAIL")) << Log();
  EXPECT_EQ(before, CountRequests()) << "nothing was downloaded";
}

TEST_F(SilentInstall, FailedDownloadCleansUpAndExitsWith2) {
  EXPECT_EQ(2u, Run(L"", PackageUrl("/0123456789abcdef0123456789abcdef/missing.exe")));
  EXPECT_TRUE(Logged("DL_CODE_FAIL")) << Log();
  EXPECT_FALSE(PackageLeft());
  EXPECT_EQ(L"", RegistryValue(L"InstallPath")) << "nothing is recorded for a failed install";
}

TEST_F(SilentInstall, FailedPackageExitsWith3AndLeavesNoPackage) {
  struct Case {
    const wchar_t* instcmd;
    const char* logged;
  } cases[] = {{L"-instcmd=-demo-fail", "IST_CODE_FAIL"}, {L"-instcmd=-demo-error=broken", "IST_CODE_FAIL"}};
  for (const auto& c : cases) {
    EXPECT_EQ(3u, Run(c.instcmd)) << Utils::ToNarrow(c.instcmd, CP_UTF8);
    EXPECT_TRUE(Logged(c.logged));
    EXPECT_FALSE(PackageLeft());
    EXPECT_EQ(L"", RegistryValue(L"InstallPath"));
  }
}

TEST_F(SilentInstall, PreChecksRefuseWith5) {
  // A folder that cannot be created.
  const std::wstring bad = Quote(BinDir() + L"\\ParlomindSetup.exe") + L" -silent -log=" + Quote(logPath_) +
                           L" -downloadurl=" + PackageUrl() + L" -installdir=Q:\\no\\such\\drive";
  EXPECT_EQ(5u, RunAndWait(bad, 60000));

  // The product is running.
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  std::wstring product = Quote(BinDir() + L"\\parlomind.exe");
  ASSERT_TRUE(CreateProcessW(nullptr, product.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  Utils::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  WaitForInputIdle(process.Get(), 5000);
  const size_t before = CountRequests();
  EXPECT_EQ(5u, Run());
  EXPECT_EQ(before, CountRequests());
  TerminateProcess(process.Get(), 0);
  WaitForSingleObject(process.Get(), 5000);
}

TEST_F(SilentInstall, SecondInstallerExitsWithMinusOneWhileTheFirstRuns) {
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  std::wstring first = Command(L"-instcmd=-demo-sleep=3000");
  ASSERT_TRUE(CreateProcessW(nullptr, first.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  Utils::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  // Wait until the first one is busy with its package.
  for (int i = 0; i < 300 && !Logged("IST_CODE_START"); ++i) Sleep(50);
  ASSERT_TRUE(Logged("IST_CODE_START")) << Log();

  TempDir other;
  const std::wstring second = Quote(BinDir() + L"\\ParlomindSetup.exe") + L" -silent -downloadurl=" + PackageUrl() +
                              L" -installdir=" + Quote(other.Path());
  EXPECT_EQ(0xFFFFFFFFu, RunAndWait(second, 30000));

  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.Get(), 60000));
  DWORD code = 1;
  GetExitCodeProcess(process.Get(), &code);
  EXPECT_EQ(0u, code);
}

}  // namespace

namespace {
// The network check itself cannot say "no" under Wine, so this runs the same
// unattended install in this process with the check's answer given.
TEST(SilentInstallNetwork, NegativeCheckStopsBeforeAnything) {
  TempDir dir;
  RegDeleteTreeW(HKEY_CURRENT_USER, kProductRegistryKey);
  g_settings.isCheckNet = true;
  g_settings.SetDownloadUrl(PackageUrl());
  const CommandLineOptions options = CommandLineOptions::Parse(L"x -silent -installdir=" + Quote(dir.Path()));
  struct Case {
    uint32_t answer;
    int exitCode;
  } cases[] = {{0x10000, 6}, {0x20000 | 0x10, 6}, {0xFFFF, 0}};
  for (const auto& c : cases) {
    const size_t before = CountRequests();
    SilentInstallSeams seams;
    seams.checkNetwork = [&] { return c.answer; };
    EXPECT_EQ(c.exitCode, RunSilentInstall(options, seams)) << std::hex << c.answer;
    if (c.exitCode == 6) {
      EXPECT_EQ(before, CountRequests()) << "nothing downloaded";
    }
  }
  g_settings.isCheckNet = false;
  RegDeleteTreeW(HKEY_CURRENT_USER, kProductRegistryKey);
}
}  // namespace
