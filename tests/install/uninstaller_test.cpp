// Removal of the old version end to end: the real UnInstaller starting the
// stand-in uninstaller under Wine.
#include <gtest/gtest.h>

#include "install/uninstaller.h"
#include "tests/install/stand_in.h"
#include "utils/probes.h"
#include "utils/text.h"

using StandInTest::HandleCount;
using StandInTest::NamedEvent;
using StandInTest::ExpectReports;
using StandInTest::Report;
using StandInTest::Reports;
using StandInTest::StandIn;

namespace {
constexpr const wchar_t* kUninstaller = L"stand_in_uninstaller";

TEST(UninstallerRun, CommandLineUnquotedWithTheFlagsOfNow) {
  Reports reports;
  StandIn copy(kUninstaller, "write State=Success\\n\n", L"temp with blanks");
  const std::wstring oldFolder = L"C:\\Program Files\\Parlomind Old";
  std::wstring consoleUser;
  Utils::GetConsoleUserName(consoleUser);
  const std::wstring adminAct = Utils::IsUserAccountAdmin(consoleUser) ? L"true" : L"false";
  const std::wstring authorizationAct = Utils::IsAdministratorsMember() ? L"true" : L"false";
  const std::wstring flags = L" /S -adminact=" + adminAct + L" -authorizationact=" + authorizationAct +
                             L" -console=show _?=" + oldFolder;
  {
    UnInstaller uninstaller(reports.Callback(), copy.Path(), oldFolder);
    uninstaller.Start();
    EXPECT_EQ(copy.Path() + flags, uninstaller.CommandLine());
  }
  // The system finds the program despite the blanks. Wine hands the child
  // its path quoted; Windows passes the line on as it was given.
  const std::wstring received = copy.Record()[L"cmdline"];
  EXPECT_TRUE(received == copy.Path() + flags || received == TestSupport::Quote(copy.Path()) + flags) << received;
  EXPECT_EQ(L"pipe", copy.Record()[L"stdout"]);
  ExpectReports({{UNIST_CODE_PROGRESS, 0.0, L""}, {UNIST_CODE_SUCCESS, 0.0, L""}}, reports.All(), "success");
}

TEST(UninstallerRun, OutcomesOfARun) {
  const struct {
    const char* name;
    std::string scenario;
    std::vector<Report> expected;  // after 5002 0.0
  } cases[] = {
      {"exits at once without output", "exit 0\n", {{UNIST_CODE_SUCCESS, 1.0, L""}}},
      {"fail then exit", "write State=Fail\\n\n", {{UNIST_CODE_ERROR, 0.0, kMsgUninstallFailed}}},
      {"error text", "write Progress=0.4\\r\\nError=file in use\\r\\n\n",
       {{UNIST_CODE_PROGRESS, 0.4, L""}, {UNIST_CODE_ERROR, 0.0, L"file in use\r"}}},
      {"crash without final state", "write Progress=0.6\\n\ncrash\n",
       {{UNIST_CODE_PROGRESS, 0.6, L""}, {UNIST_CODE_SUCCESS, 1.0, L""}}},
      {"package keys are not the uninstaller's", "write Message=x\\nInstPath=y\\n\n",
       {{UNIST_CODE_SUCCESS, 1.0, L""}}},
  };
  for (const auto& c : cases) {
    Reports reports;
    StandIn copy(kUninstaller, c.scenario);
    {
      UnInstaller uninstaller(reports.Callback(), copy.Path(), L"C:\\old");
      uninstaller.Start();
    }
    std::vector<Report> expected = {{UNIST_CODE_PROGRESS, 0.0, L""}};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    ExpectReports(expected, reports.All(), c.name);
  }
}

TEST(UninstallerRun, FailWrittenJustBeforeTheEndCounts) {
  // The report of the first line is held until the uninstaller has written
  // its failure and ended, so the end is seen while the failure still sits
  // in the pipe.
  NamedEvent goOn;
  Reports reports;
  StandIn copy(kUninstaller, "write Progress=0.5\\n\nwait " + goOn.Name() + "\nwrite State=Fail\\n\n");
  const StageCallback collect = reports.Callback();
  auto holdUntilEnded = [&](int32_t code, double value, const wchar_t* text) {
    if (code == UNIST_CODE_PROGRESS && value == 0.5) {
      Utils::UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, std::stoul(copy.Record()[L"pid"])));
      goOn.Set();
      if (process) WaitForSingleObject(process.Get(), 10000);
    }
    collect(code, value, text);
  };
  {
    UnInstaller uninstaller(holdUntilEnded, copy.Path(), L"C:\\old");
    uninstaller.Start();
  }
  EXPECT_EQ((std::vector<int32_t>{UNIST_CODE_PROGRESS, UNIST_CODE_PROGRESS, UNIST_CODE_ERROR}), reports.Codes());
}

TEST(UninstallerRun, KeepsReadingAfterAFinalState) {
  NamedEvent failed, more;
  Reports reports;
  StandIn copy(kUninstaller, "write State=Fail\\n\nsignal " + failed.Name() + "\nwait " + more.Name() +
                                 "\nwrite Progress=0.7\\nError=late\\n\n");
  UnInstaller uninstaller(reports.Callback(), copy.Path(), L"C:\\old");
  uninstaller.Start();
  ASSERT_TRUE(reports.WaitFor(UNIST_CODE_ERROR));
  ASSERT_TRUE(failed.WaitSet(20000));
  more.Set();
  ASSERT_TRUE(reports.WaitCount(UNIST_CODE_ERROR, 2));
  EXPECT_EQ(L"late", reports.All().back().text);
  EXPECT_EQ(0u, reports.Count(UNIST_CODE_SUCCESS));
  EXPECT_EQ(2u, reports.Count(UNIST_CODE_PROGRESS));
}

TEST(UninstallerRun, EncodeUtf8AndNot936) {
  const struct {
    const char* name;
    std::string announce;
    std::string bytes;
    std::wstring expected;
  } cases[] = {
      {"UTF-8", "Encode=UTF8", "\xE6\x96\x87", L"文"},
      // "936" is read as the active code page by the uninstaller's reader.
      {"936 means the active code page", "Encode=936", "\xCE\xC4", Utils::ToWide("\xCE\xC4", 0)},
  };
  for (const auto& c : cases) {
    NamedEvent parsed;
    Reports reports;
    StandIn copy(kUninstaller, "write " + c.announce + "\\nProgress=0.1\\n\nwait " + parsed.Name() +
                                   "\nwrite Error=" + c.bytes + "\\n\n");
    UnInstaller uninstaller(reports.Callback(), copy.Path(), L"C:\\old");
    uninstaller.Start();
    ASSERT_TRUE(reports.WaitCount(UNIST_CODE_PROGRESS, 2)) << c.name;
    parsed.Set();
    ASSERT_TRUE(reports.WaitFor(UNIST_CODE_ERROR)) << c.name;
    EXPECT_EQ(c.expected, reports.First(UNIST_CODE_ERROR).text) << c.name;
  }
}

TEST(UninstallerRun, CannotStart) {
  const struct {
    const char* name;
    bool exists;
    std::wstring oldFolder;
    std::vector<Report> expected;
  } cases[] = {
      {"copy missing", false, L"C:\\old", {{UNIST_CODE_FAIL, 1.0, kMsgUninstallerMissing}}},
      {"command line beyond 1023 characters", true, L"C:\\" + std::wstring(1000, L'o'),
       {{UNIST_CODE_PROGRESS, 0.0, L""}, {UNIST_CODE_FAIL, 2.0, L""}}},
  };
  for (const auto& c : cases) {
    Reports reports;
    StandIn copy(kUninstaller, "write State=Success\\n\n");
    if (!c.exists) DeleteFileW(copy.Path().c_str());
    {
      UnInstaller uninstaller(reports.Callback(), copy.Path(), c.oldFolder);
      uninstaller.Start();
    }
    ExpectReports(c.expected, reports.All(), c.name);
    EXPECT_TRUE(copy.Record().empty()) << c.name;
  }
}

TEST(UninstallerRun, RunLeavesNoHandles) {
  Reports reports;
  StandIn copy(kUninstaller, "write Progress=0.5\\n\n");
  const DWORD before = HandleCount();
  {
    UnInstaller uninstaller(reports.Callback(), copy.Path(), L"C:\\old");
    uninstaller.Start();
  }
  EXPECT_EQ(1u, reports.Count(UNIST_CODE_SUCCESS));
  EXPECT_EQ(before, HandleCount());
}

}  // namespace
