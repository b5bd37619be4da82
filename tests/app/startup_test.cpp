// The start-up sequence of the real ParlomindSetup.exe: single-instance guard,
// exit codes, and command line applied over the settings file.
#include <gtest/gtest.h>

#include "app/single_instance.h"
#include "tests/support/debuggee.h"
#include "tests/support/process.h"
#include "utils/handle.h"

using namespace TestSupport;

namespace {
const std::wstring kMutexName = L"D1A547DB89C0BC61_Installer_parlomind";

std::wstring SetupExe() { return BinDir() + L"\\ParlomindSetup.exe"; }

std::wstring SettingsLine(const DebugRun& run) {
  for (const auto& s : run.strings) {
    const size_t at = s.text.find(L"DownloadUrl=");
    if (at != std::wstring::npos) return s.text.substr(at);
  }
  return {};
}

TEST(Startup, SecondInstanceLeavesAtOnceWithMinusOne) {
  // This test holds the installer's mutex, as a running installer would.
  Utils::UniqueHandle held(CreateMutexW(nullptr, TRUE, kMutexName.c_str()));
  ASSERT_TRUE(held.Valid());
  ASSERT_NE(ERROR_ALREADY_EXISTS, GetLastError());

  const DebugRun run = RunUnderDebugger(Quote(SetupExe()) + L" -downloadtype=2");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(0xFFFFFFFFu, run.exitCode);
  EXPECT_EQ(L"", SettingsLine(run)) << "it ends before reading its command line";
  ReleaseMutex(held.Get());
}

TEST(Startup, MutexIsReleasedWhenTheInstallerEnds) {
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(0u, RunAndWait(Quote(SetupExe()))) << "round " << round;
    Utils::UniqueHandle m(CreateMutexW(nullptr, TRUE, kMutexName.c_str()));
    ASSERT_TRUE(m.Valid());
    EXPECT_NE(ERROR_ALREADY_EXISTS, GetLastError()) << "the mutex must be gone after a normal exit";
    ReleaseMutex(m.Get());
  }
}

TEST(Startup, GuardReportsAnotherHolder) {
  SingleInstanceGuard first(L"guard_test"), second(L"guard_test");
  ASSERT_TRUE(first.Acquire());
  EXPECT_TRUE(first.Acquire()) << "taking it again is a no-op";
  EXPECT_FALSE(second.Acquire());
  EXPECT_FALSE(second.Held());
  first.Release();
  EXPECT_TRUE(second.Acquire()) << "released and closed: free again";
}

TEST(Startup, CommandLineWinsOverTheSettingsFile) {
  TempDir dir;
  const std::wstring exe = dir.File(L"ParlomindSetup.exe");
  ASSERT_TRUE(CopyFileTo(SetupExe(), exe));
  ASSERT_TRUE(WriteFileBytes(dir.File(L"KorvaneInstallerConfig.ini"),
                             "[Install]\r\nDownloadUrl=http://file/${ROUTE}/x\r\nDownloadType=3\r\n"
                             "DownloadScale=0.5\r\nInstCmd=fromfile\r\n"));
  const DebugRun run = RunUnderDebugger(Quote(exe) + L" -downloadtype=2 -instcmd=fromline -language=1");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(0u, run.exitCode);
  const std::wstring line = SettingsLine(run);
  EXPECT_NE(std::wstring::npos, line.find(L"DownloadType=2 ")) << line;
  EXPECT_NE(std::wstring::npos, line.find(L"InstCmd=fromline ")) << line;
  EXPECT_NE(std::wstring::npos, line.find(L"DownloadScale=0.5 ")) << line;
  EXPECT_NE(std::wstring::npos, line.find(L"IsCheckNet=1 ")) << "the file lacks the key: true; " << line;
  EXPECT_NE(std::wstring::npos, line.find(L"Language=1 ")) << line;
  EXPECT_NE(std::wstring::npos, line.find(L"DownloadUrl=http://file/download_silent")) << line;
}

// The route word from the real version API, with Wine told to report other
// Windows versions for the probe program.
TEST(Startup, RouteFollowsTheReportedWindowsVersion) {
  const wchar_t* key = L"Software\\Wine\\AppDefaults\\version_probe.exe";
  struct Case {
    const wchar_t* wineVersion;
    DWORD expected;  // major*1000 + minor*10 + xp route
  } cases[] = {
      {L"winxp", 5011}, {L"win2k", 5000}, {L"win2003", 5020}, {L"win7", 6010}, {L"win10", 10000},
  };
  for (const auto& c : cases) {
    HKEY k = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr));
    Utils::UniqueRegKey owned(k);
    RegSetValueExW(k, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.wineVersion),
                   static_cast<DWORD>((wcslen(c.wineVersion) + 1) * sizeof(wchar_t)));
    owned.Reset();
    EXPECT_EQ(c.expected, RunAndWait(Quote(BinDir() + L"\\version_probe.exe")))
        << testing::PrintToString(std::wstring(c.wineVersion));
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, key);
}

}  // namespace
