// The package run end to end: the real CInstaller starting the stand-in
// package under Wine, its command line, its reports and its end.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/settings.h"
#include "install/installer.h"
#include "tests/install/stand_in.h"

using StandInTest::ExpectReports;
using StandInTest::HandleCount;
using StandInTest::NamedEvent;
using StandInTest::Report;
using StandInTest::Reports;
using StandInTest::StandIn;

namespace {
constexpr const wchar_t* kPackage = L"stand_in_package";

std::unique_ptr<CInstaller> MakeInstaller(Reports& reports, const StandIn& package, const std::wstring& folder = L"") {
  return std::make_unique<CInstaller>(reports.Callback(), TestSupport::Quote(package.Path()), folder, true, true,
                                      true);
}

struct ExtraArgs {  // the settings' extra package arguments, for one test
  explicit ExtraArgs(std::wstring args) : saved(g_settings.instCmd) { g_settings.instCmd = std::move(args); }
  ~ExtraArgs() { g_settings.instCmd = saved; }
  std::wstring saved;
};

TEST(InstallerCommandLine, PiecesInOrder) {
  const struct {
    const char* name;
    InstallerOptions options;
    std::wstring extra;
    std::wstring expected;  // after the quoted package path
  } cases[] = {
      {"all on, a folder", {L"D:\\Apps\\X", true, true, true, true, L""}, L"",
       L" /S -console=show -version=1.0.0 -adminact=true -authorizationact=true -dsc=true -ssc=true"
       L" -instdir=\"D:\\Apps\\X\" /D=D:\\Apps\\X"},
      {"all off, no folder", {L"", false, false, false, false, L""}, L"",
       L" /S -console=show -version=1.0.0 -adminact=false -authorizationact=false -dsc=false -ssc=false"},
      {"each flag in its place", {L"", true, false, false, true, L""}, L"",
       L" /S -console=show -version=1.0.0 -adminact=false -authorizationact=true -dsc=true -ssc=false"},
      {"language, extra arguments, folder with blanks", {L"C:\\Program Files\\P", false, true, true, true, L"zh-CN"},
       L"-a=1 /B",
       L" /S -console=show -version=1.0.0 -adminact=true -authorizationact=true -dsc=false -ssc=true"
       L" -inslang=\"zh-CN\" -a=1 /B -instdir=\"C:\\Program Files\\P\" /D=C:\\Program Files\\P"},
  };
  for (const auto& c : cases) {
    ExtraArgs extra(c.extra);
    CInstaller installer(nullptr, L"\"C:\\t\\__Package_parlomind.exe\"", L"ignored", true, true, true);
    installer.SetOptions(c.options);
    EXPECT_EQ(L"\"C:\\t\\__Package_parlomind.exe\"" + c.expected, installer.BuildCommandLine()) << c.name;
  }
}

TEST(InstallerCommandLine, ConstructorFlagsAndAdministratorDefault) {
  CInstaller installer(nullptr, L"\"p.exe\"", L"E:\\x", true, false, true);
  EXPECT_EQ(L"\"p.exe\" /S -console=show -version=1.0.0 -adminact=true -authorizationact=true -dsc=true"
            L" -ssc=false -instdir=\"E:\\x\" /D=E:\\x",
            installer.BuildCommandLine());
}

TEST(InstallerRun, PackageReceivesTheCommandLine) {
  ExtraArgs extra(L"-extra=\"a b\"");
  Reports reports;
  StandIn package(kPackage, "write State=Success\\n\n", L"pkg dir");
  {
    auto installer = MakeInstaller(reports, package, L"C:\\Program Files\\Parlomind");
    installer->Start();
    ASSERT_TRUE(reports.WaitFor(IST_CODE_SUCCESS));
    installer.reset();
    EXPECT_EQ(TestSupport::Quote(package.Path()) +
                  L" /S -console=show -version=1.0.0 -adminact=true -authorizationact=true -dsc=true -ssc=true"
                  L" -extra=\"a b\" -instdir=\"C:\\Program Files\\Parlomind\" /D=C:\\Program Files\\Parlomind",
              package.Record()[L"cmdline"]);
  }
}

TEST(InstallerRun, OutcomesOfARun) {
  const struct {
    const char* name;
    std::string scenario;
    std::vector<Report> expected;  // after 2001 and 2002 0.0
  } cases[] = {
      {"success", "write Progress=0.5\\nState=Success\\n\n",
       {{IST_CODE_PROGRESS, 0.5, L""}, {IST_CODE_SUCCESS, 0.0, L""}}},
      {"fail", "write State=Fail\\r\\n\n", {{IST_CODE_FAIL, 0.0, kMsgPackageFailed}}},
      {"error text", "write Error=disk full\\n\n", {{IST_CODE_FAIL, 1000.0, L"disk full"}}},
      {"ends without a final state", "write Progress=0.9\\n\nexit 3\n",
       {{IST_CODE_PROGRESS, 0.9, L""}, {IST_CODE_SUCCESS, 1.0, L""}}},
      {"never writes", "exit 0\n", {{IST_CODE_SUCCESS, 1.0, L""}}},
      {"crashes silently", "write Progress=0.2\\n\ncrash\n",
       {{IST_CODE_PROGRESS, 0.2, L""}, {IST_CODE_SUCCESS, 1.0, L""}}},
      {"lower-case state is no final state", "write state=Fail\\n\n", {{IST_CODE_SUCCESS, 1.0, L""}}},
  };
  for (const auto& c : cases) {
    Reports reports;
    StandIn package(kPackage, c.scenario);
    auto installer = MakeInstaller(reports, package);
    installer->Start();
    installer.reset();  // waits for the run
    std::vector<Report> expected = {{IST_CODE_START, 0.0, L""}, {IST_CODE_PROGRESS, 0.0, L""}};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    ExpectReports(expected, reports.All(), c.name);
  }
}

TEST(InstallerRun, BurstOfLinesIsParsedWhole) {
  // About 3000 bytes of progress lines in one write, then the final state.
  Reports reports;
  StandIn package(kPackage, "repeat 215 Progress=0.25\\n\nwrite State=Success\\n\n");
  auto installer = MakeInstaller(reports, package);
  installer->Start();
  installer.reset();
  const auto all = reports.All();
  ASSERT_EQ(2u + 215u + 1u, all.size());
  for (size_t i = 2; i < 217; ++i) {
    ASSERT_EQ(IST_CODE_PROGRESS, all[i].code) << i;
    ASSERT_DOUBLE_EQ(0.25, all[i].value) << i;
  }
  EXPECT_EQ(IST_CODE_SUCCESS, all.back().code);
  EXPECT_DOUBLE_EQ(0.0, all.back().value);
}

TEST(InstallerRun, FinalStateInTheLastKilobytesBeforeTheEndCounts) {
  // The package writes its last 2.4 KB while the run pauses between exit
  // checks, then ends: more than one read's worth is left in the pipe.
  Reports reports;
  StandIn package(kPackage,
                  "write Progress=0.1\\n\nsleep 20\nrepeat 150 Progress=0.25\\n\nwrite State=Fail\\n\n");
  auto installer = MakeInstaller(reports, package);
  installer->Start();
  installer.reset();
  const auto all = reports.All();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(IST_CODE_FAIL, all.back().code) << "a late failure must not become a success";
  for (const auto& r : all) EXPECT_NE(IST_CODE_SUCCESS, r.code);
  EXPECT_EQ(2u + 1u + 150u + 1u, all.size()) << "every line before the end is parsed";
}

TEST(InstallerRun, CannotStart) {
  const struct {
    const char* name;
    std::wstring folder;
    bool packageExists;
  } cases[] = {
      {"missing package", L"C:\\x", false},
      {"command line beyond 1023 characters", L"C:\\" + std::wstring(1000, L'd'), true},
  };
  for (const auto& c : cases) {
    Reports reports;
    StandIn package(kPackage, "write State=Success\\n\n");
    if (!c.packageExists) DeleteFileW(package.Path().c_str());
    auto installer = MakeInstaller(reports, package, c.folder);
    installer->Start();
    installer.reset();
    EXPECT_EQ((std::vector<int32_t>{IST_CODE_START, IST_CODE_PROGRESS, IST_CODE_FAIL}), reports.Codes()) << c.name;
    EXPECT_DOUBLE_EQ(2.0, reports.First(IST_CODE_FAIL).value) << c.name;
    EXPECT_EQ(L"", reports.First(IST_CODE_FAIL).text) << c.name;
    EXPECT_TRUE(package.Record().empty()) << c.name << ": nothing may have been started";
  }
}

TEST(InstallerRun, LineCutByTheReadSizeArrivesWhole) {
  // Once UTF-8 is announced (and parsed, as the 0.1 shows), one write puts
  // the install path and its first Chinese character across the 1024th byte.
  const std::string filler = "Foo=" + std::string(991, 'x') + "\\n";  // 996 bytes
  NamedEvent parsed;
  Reports reports;
  StandIn package(kPackage, "write Encode=UTF8\\nProgress=0.1\\n\nwait " + parsed.Name() + "\nwrite " + filler +
                                "InstPath=C:\\\\Program Files\\\\\xE5\xB8\x95\xE6\xB4\x9B\\\\Parlomind\\n\n");
  auto installer = MakeInstaller(reports, package);
  installer->Start();
  ASSERT_TRUE(reports.WaitCount(IST_CODE_PROGRESS, 2));
  parsed.Set();
  installer.reset();
  EXPECT_EQ(1u, reports.Count(IST_INFO_INST_PATH));
  EXPECT_EQ(L"C:\\Program Files\\帕洛\\Parlomind", reports.First(IST_INFO_INST_PATH).text);
}

TEST(InstallerRun, Encode936DecodesGbkAndIsKeptForTheNextRun) {
  NamedEvent parsed;
  Reports reports;
  // "中文" in GBK, written once the announcement has been parsed.
  StandIn package(kPackage, "write Encode=936\\nProgress=0.5\\n\nwait " + parsed.Name() +
                                "\nwrite Message=\xD6\xD0\xCE\xC4\\n\n");
  auto installer = MakeInstaller(reports, package);
  installer->Start();
  ASSERT_TRUE(reports.WaitCount(IST_CODE_PROGRESS, 2));
  parsed.Set();
  ASSERT_TRUE(reports.WaitFor(IST_CODE_SUCCESS));
  EXPECT_EQ(L"中文", reports.First(IST_INFO_MESSAGE).text);

  // The next run's very first chunk is read as GBK already.
  ASSERT_TRUE(TestSupport::WriteFileBytes(package.Path() + L".scenario", "write Message=\xCE\xC4\\n\n"));
  installer->Start();
  installer.reset();
  ASSERT_EQ(2u, reports.Count(IST_INFO_MESSAGE));
  EXPECT_EQ(L"文", reports.All()[reports.All().size() - 2].text);
}

TEST(InstallerRun, SuccessThenKeepsRunningAndWriting) {
  std::unique_ptr<CInstaller> installer;  // goes after the package copy, which ends a stuck child
  NamedEvent said, finish;
  Reports reports;
  // After its final state the package writes far more than a pipe holds.
  StandIn package(kPackage, "write State=Success\\n\nsignal " + said.Name() + "\nwait " + finish.Name() +
                                "\nrepeat 20000 Message=after the end\\n\n");
  installer = MakeInstaller(reports, package);
  installer->Start();
  ASSERT_TRUE(reports.WaitFor(IST_CODE_SUCCESS));
  ASSERT_TRUE(said.WaitSet(20000));
  const DWORD pid = std::stoul(package.Record()[L"pid"]);
  Utils::UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
  ASSERT_TRUE(process.Valid());
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process.Get(), 0)) << "still running";
  finish.Set();
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(process.Get(), 20000))
      << "the package must be able to write its output and end";
  installer.reset();
  EXPECT_EQ(1u, reports.Count(IST_CODE_SUCCESS)) << "success is reported once, when parsed";
  EXPECT_EQ(0u, reports.Count(IST_INFO_MESSAGE)) << "nothing after the final state is parsed";
}

TEST(InstallerRun, SilentPackageKeepsTheRunWaitingUntilItEnds) {
  std::unique_ptr<CInstaller> installer;  // goes after the package copy, which ends a stuck child
  NamedEvent finish;
  Reports reports;
  StandIn package(kPackage, "wait " + finish.Name() + "\n");
  installer = MakeInstaller(reports, package);
  installer->Start();
  ASSERT_TRUE(reports.WaitFor(IST_CODE_PROGRESS));
  Sleep(300);  // long enough for a wrong early end to show
  EXPECT_EQ((std::vector<int32_t>{IST_CODE_START, IST_CODE_PROGRESS}), reports.Codes());
  finish.Set();
  ASSERT_TRUE(reports.WaitFor(IST_CODE_SUCCESS));
  EXPECT_DOUBLE_EQ(1.0, reports.First(IST_CODE_SUCCESS).value);
}

TEST(InstallerRun, FloodOfStandardErrorDoesNotBlock) {
  std::unique_ptr<CInstaller> installer;  // destroyed after the package copy, which ends a stuck child
  Reports reports;
  StandIn package(kPackage, "stderr 2000000\nwrite State=Success\\n\n");
  installer = MakeInstaller(reports, package);
  installer->Start();
  EXPECT_TRUE(reports.WaitFor(IST_CODE_SUCCESS, 30000));
}

TEST(InstallerRun, SecondStartWaitsForTheFirstRun) {
  std::unique_ptr<CInstaller> installer;  // goes after the package copy, which ends a stuck child
  NamedEvent finish;
  Reports reports;
  StandIn package(kPackage, "wait " + finish.Name() + "\n");
  installer = MakeInstaller(reports, package);
  installer->Start();
  ASSERT_TRUE(reports.WaitFor(IST_CODE_PROGRESS));
  std::atomic<bool> returned{false};
  std::thread second([&] {
    installer->Start();
    returned = true;
  });
  Sleep(300);  // long enough for a second Start that does not wait to return
  EXPECT_FALSE(returned.load());
  finish.Set();
  second.join();
  installer.reset();
  EXPECT_EQ((std::vector<int32_t>{IST_CODE_START, IST_CODE_PROGRESS, IST_CODE_SUCCESS, IST_CODE_START,
                                  IST_CODE_PROGRESS, IST_CODE_SUCCESS}),
            reports.Codes());
}

TEST(InstallerRun, RunLeavesNoHandles) {
  StandIn package(kPackage, "write Progress=0.5\\nState=Fail\\n\n");
  Reports reports;
  const DWORD before = HandleCount();
  auto installer = MakeInstaller(reports, package);
  installer->Start();
  installer.reset();
  EXPECT_EQ(1u, reports.Count(IST_CODE_FAIL));
  EXPECT_EQ(before, HandleCount());
}

}  // namespace
