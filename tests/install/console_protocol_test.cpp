// The two parsers of the console protocol, fed chunks directly: matching
// order, value forms, final states and code-page announcements.
#include <gtest/gtest.h>

#include <climits>

#include "app/log.h"
#include "install/installer.h"
#include "install/uninstaller.h"
#include "tests/install/stand_in.h"

using StandInTest::ExpectReports;
using StandInTest::Report;
using StandInTest::Reports;

namespace {
struct Case {
  const char* name;
  std::wstring chunk;
  std::vector<Report> expected;
  int result = 0;
};

TEST(PackageParser, EveryKeyAndValueForm) {
  const std::wstring longText(800, L'x');
  const Case cases[] = {
      {"real", L"Progress=0.42\n", {{IST_CODE_PROGRESS, 0.42, L""}}},
      {"real unreadable", L"Progress=abc\n", {{IST_CODE_PROGRESS, 0.0, L""}}},
      {"real missing", L"Progress=", {{IST_CODE_PROGRESS, 0.0, L""}}},
      {"text keeps CR", L"InstPath=D:\\Apps\\X\r\n", {{IST_INFO_INST_PATH, 0.0, L"D:\\Apps\\X\r"}}},
      {"success trimmed", L"State=Success\r\n", {{IST_CODE_SUCCESS, 0.0, L""}}, 1},
      {"fail", L"State= Fail \n", {{IST_CODE_FAIL, 0.0, kMsgPackageFailed}}, 1000},
      {"unknown state", L"State=Done\n", {}},
      {"lower-case key", L"state=Success\n", {}},
      {"blank before key", L" State=Success\n", {}},
      {"version reports nothing", L"InstallVersion=3.1.7\n", {}},
      {"exe path", L"ExePath=C:\\P\\p.exe\n", {{IST_INFO_EXE_PATH, 0.0, L"C:\\P\\p.exe"}}},
      {"start exe", L"StartExe=p.exe\n", {{IST_INFO_EXE_PATH, 0.0, L"p.exe"}}},
      {"uninst exe path", L"UninstExePath=u.exe\n", {{IST_INFO_UNINST_EXE, 0.0, L"u.exe"}}},
      {"uninst exe", L"UninstExe=v.exe\n", {{IST_INFO_UNINST_EXE, 0.0, L"v.exe"}}},
      {"uninst ep", L"UninstEp=e\n", {{IST_INFO_UNINST_EP, 0.0, L"e"}}},
      {"error", L"Error=disk full\n", {{IST_CODE_FAIL, 1000.0, L"disk full"}}, 1000},
      {"error empty", L"Error=\n", {{IST_CODE_FAIL, 1000.0, L""}}, 1000},
      {"integer", L"TopShowDetention=5\n", {{IST_INFO_TOP_SHOW_DETENTION, 5.0, L""}}},
      {"integer as unsigned", L"TopShowDetention=-1\n", {{IST_INFO_TOP_SHOW_DETENTION, 4294967295.0, L""}}},
      {"integer unreadable", L"TopShowDetention=x\n", {{IST_INFO_TOP_SHOW_DETENTION, 0.0, L""}}},
      {"protocol spelling", L"FinsihCloseDetention=7\n", {{IST_INFO_FINISH_CLOSE_DETENTION, 7.0, L""}}},
      {"dictionary spelling is no key", L"FinishCloseDetention=7\n", {}},
      {"start url", L"StartUrl=http://h/p?q=1\n", {{IST_INFO_START_URL, 0.0, L"http://h/p?q=1"}}},
      {"style auto", L"StartupStyle= AutoStartup\r\n", {{IST_INFO_STARTUP_STYLE, 1.0, L""}}},
      {"style user", L"StartupStyle=UserStartup\n", {{IST_INFO_STARTUP_STYLE, 2.0, L""}}},
      {"style none", L"StartupStyle=NonStartup\n", {{IST_INFO_STARTUP_STYLE, 0.0, L""}}},
      {"style unknown", L"StartupStyle=Later\n", {{IST_INFO_STARTUP_STYLE, 0.0, L""}}},
      {"message empty", L"Message=\n", {{IST_INFO_MESSAGE, 0.0, L""}}},
      {"message chinese", L"Message=安装完成\n", {{IST_INFO_MESSAGE, 0.0, L"安装完成"}}},
      {"text cut at 771", L"Message=" + longText, {{IST_INFO_MESSAGE, 0.0, std::wstring(771, L'x')}}},
      {"unknown key", L"Foo=1\n", {}},
      {"last piece without line feed, empty lines",
       L"Progress=0.1\n\n\nProgress=0.2",
       {{IST_CODE_PROGRESS, 0.1, L""}, {IST_CODE_PROGRESS, 0.2, L""}}},
      {"last final state decides",
       L"State=Fail\nState=Success\n",
       {{IST_CODE_FAIL, 0.0, kMsgPackageFailed}, {IST_CODE_SUCCESS, 0.0, L""}},
       1},
      {"success then error", L"State=Success\nError=late\n",
       {{IST_CODE_SUCCESS, 0.0, L""}, {IST_CODE_FAIL, 1000.0, L"late"}}, 1000},
  };
  for (const Case& c : cases) {
    Reports reports;
    CInstaller installer(reports.Callback(), L"\"p.exe\"", L"", false, false, false);
    EXPECT_EQ(c.result, installer.Parse(c.chunk)) << c.name;
    ExpectReports(c.expected, reports.All(), c.name);
  }
}

std::vector<std::wstring>* g_lines = nullptr;
void Collect(const wchar_t* line, size_t length) {
  if (g_lines) g_lines->emplace_back(line, length);
}

TEST(PackageParser, ExePathIsLoggedStartExeIsNot) {
  std::vector<std::wstring> lines;
  g_lines = &lines;
  Log::SetSink(Collect);
  CInstaller installer(nullptr, L"\"p.exe\"", L"", false, false, false);
  installer.Parse(L"ExePath=C:\\P\\p.exe\r\nStartExe=C:\\P\\q.exe\n");
  Log::SetSink(nullptr);
  g_lines = nullptr;
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::wstring::npos, lines[0].find(L"(CInstaller::Parse)<")) << lines[0];
  const std::wstring tail = L": ExePath: C:\\P\\p.exe\r";
  EXPECT_EQ(tail, lines[0].substr(lines[0].size() - tail.size())) << "the text as it came, no line end of its own";
}

TEST(PackageParser, InstallVersionKeepsWhatCannotBeRead) {
  CInstaller installer(nullptr, L"\"p.exe\"", L"", false, false, false);
  installer.Parse(L"InstallVersion=3.1.7\n");
  EXPECT_EQ(3, installer.Version().major);
  EXPECT_EQ(1, installer.Version().minor);
  EXPECT_EQ(7, installer.Version().build);
  installer.Parse(L"InstallVersion=4.x.9\n");
  EXPECT_EQ(4, installer.Version().major);
  EXPECT_EQ(1, installer.Version().minor) << "the unreadable part keeps its value";
  EXPECT_EQ(7, installer.Version().build) << "reading stops at the unreadable part";
}

TEST(PackageParser, EncodeSetsTheCodePage) {
  const struct {
    const wchar_t* line;
    int codePage;
  } cases[] = {
      {L"Encode=UTF8\n", 65001},   {L"Encode=936\r\n", 936},   {L"Encode= 936abc\n", 936},
      {L"Encode=65001\n", 65001},  {L"Encode=ACP\n", 0},       {L"Encode=utf8\n", 0},
      {L"Encode=abc\n", 0},        {L"Encode=99999999999\n", 0},
      // Announced code pages the system cannot decode fall back to the
      // active one, so later lines (a final state) stay readable.
      {L"Encode=12345\n", 0},      {L"Encode=-5\n", 0},
  };
  for (const auto& c : cases) {
    CInstaller installer(nullptr, L"\"p.exe\"", L"", false, false, false);
    installer.Parse(L"Encode=UTF8\n");
    EXPECT_EQ(0, installer.Parse(c.line));
    EXPECT_EQ(c.codePage, installer.CodePage()) << testing::PrintToString(std::wstring(c.line));
  }
}

TEST(UninstallerParser, FourKeysOnly) {
  const Case cases[] = {
      {"progress", L"Progress=0.5\n", {{UNIST_CODE_PROGRESS, 0.5, L""}}},
      {"progress unreadable", L"Progress=x\n", {{UNIST_CODE_PROGRESS, 0.0, L""}}},
      {"error carries 0.0", L"Error=locked file\r\n", {{UNIST_CODE_ERROR, 0.0, L"locked file\r"}}, 1000},
      {"success", L"State=Success\r\n", {{UNIST_CODE_SUCCESS, 0.0, L""}}, 1},
      {"fail", L"State=Fail\n", {{UNIST_CODE_ERROR, 0.0, kMsgUninstallFailed}}, 1000},
      {"unknown state", L"State=Maybe\n", {}},
      {"lower-case key", L"state=Fail\n", {}},
      {"package keys ignored", L"InstPath=x\nMessage=y\nTopShowDetention=3\nExePath=z\n", {}},
      {"last final state decides", L"State=Success\nState=Fail\n",
       {{UNIST_CODE_SUCCESS, 0.0, L""}, {UNIST_CODE_ERROR, 0.0, kMsgUninstallFailed}}, 1000},
  };
  for (const Case& c : cases) {
    Reports reports;
    UnInstaller uninstaller(reports.Callback(), L"u.exe", L"C:\\old");
    EXPECT_EQ(c.result, uninstaller.Parse(c.chunk)) << c.name;
    ExpectReports(c.expected, reports.All(), c.name);
  }
}

TEST(UninstallerParser, EncodeKnowsOnlyUtf8) {
  UnInstaller uninstaller(nullptr, L"u.exe", L"C:\\old");
  uninstaller.Parse(L"Encode=UTF8\r\n");
  EXPECT_EQ(65001, uninstaller.CodePage());
  uninstaller.Parse(L"Encode=936\n");
  EXPECT_EQ(0, uninstaller.CodePage());
}

}  // namespace
