// Settings from defaults, the settings file (through the real private-profile
// API) and the command line.
#include <gtest/gtest.h>

#include <cmath>

#include "app/settings.h"
#include "tests/support/process.h"

using namespace TestSupport;

namespace {

struct Expected {
  std::wstring url;
  int type;
  bool checkNet;
  double scale;
  std::wstring instCmd;
};

void ExpectFields(const InstallerSettings& s, const Expected& e, const std::string& label) {
  SCOPED_TRACE(label);
  EXPECT_EQ(e.url, s.downloadUrl);
  EXPECT_EQ(e.type, s.downloadType);
  EXPECT_EQ(e.checkNet, s.isCheckNet);
  EXPECT_DOUBLE_EQ(e.scale, s.downloadScale);
  EXPECT_EQ(e.instCmd, s.instCmd);
}

TEST(Settings, BuiltInDefaults) {
  InstallerSettings s;
  ExpectFields(s, {kDefaultDownloadUrl, 1, false, 0.7, L""}, "defaults");
  EXPECT_TRUE(s.curlReady);
  EXPECT_EQ(-1, s.language);
  EXPECT_FALSE(s.insNew);
  EXPECT_NE(std::wstring::npos, s.downloadUrl.find(L"/software/381"));
}

TEST(Settings, SettingsFileCases) {
  const std::string long300(300, 'u');
  struct Case {
    const char* label;
    const char* content;  // nullptr: no file at all
    Expected expected;
  } cases[] = {
      {"no file", nullptr, {kDefaultDownloadUrl, 1, false, 0.7, L""}},
      {"header only: the missing IsCheckNet counts as true", "[Install]\r\n", {kDefaultDownloadUrl, 1, true, 0.7, L""}},
      {"complete",
       "[Install]\r\nDownloadUrl=http://h/a/b\r\nDownloadType=3\r\nIsCheckNet=true\r\nDownloadScale=0.25\r\n"
       "InstCmd=-x -y\r\n",
       {L"http://h/a/b", 3, true, 0.25, L"-x -y"}},
      {"booleans are exact and case-sensitive", "[Install]\r\nIsCheckNet=True\r\n",
       {kDefaultDownloadUrl, 1, false, 0.7, L""}},
      {"1 is not true", "[Install]\r\nIsCheckNet=1\r\n", {kDefaultDownloadUrl, 1, false, 0.7, L""}},
      {"non-numbers: type 0, scale 0.0", "[Install]\r\nDownloadType=abc\r\nDownloadScale=half\r\n",
       {kDefaultDownloadUrl, 0, true, 0.0, L""}},
      {"trailing text after numbers", "[Install]\r\nDownloadType=2x\r\nDownloadScale=0.5abc\r\n",
       {kDefaultDownloadUrl, 2, true, 0.5, L""}},
      {"numbers out of range keep the previous value", "[Install]\r\nDownloadType=99999999999\r\nDownloadScale=1e999\r\n",
       {kDefaultDownloadUrl, 1, true, 0.7, L""}},
      {"other sections and keys are ignored", "[Other]\r\nDownloadType=3\r\n[Install]\r\nUnknown=1\r\n",
       {kDefaultDownloadUrl, 1, true, 0.7, L""}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::wstring ini = dir.File(kSettingsFileName);
    if (c.content) {
      ASSERT_TRUE(WriteFileBytes(ini, c.content));
    }
    InstallerSettings s;
    s.LoadFile(ini);
    ExpectFields(s, c.expected, c.label);
  }
}

TEST(Settings, FileValuesAreCutTo259CharactersButOptionsAreNot) {
  TempDir dir;
  const std::wstring ini = dir.File(kSettingsFileName);
  const std::string value(300, 'a');
  ASSERT_TRUE(WriteFileBytes(ini, "[Install]\r\nInstCmd=" + value + "\r\n"));
  InstallerSettings s;
  s.LoadFile(ini);
  EXPECT_EQ(std::wstring(259, L'a'), s.instCmd);

  s.ApplyOptions(CommandLineOptions::Parse(L"setup.exe -instcmd=" + std::wstring(300, L'b')));
  EXPECT_EQ(std::wstring(300, L'b'), s.instCmd);
}

TEST(Settings, CommandLineOverridesTheFile) {
  TempDir dir;
  const std::wstring ini = dir.File(kSettingsFileName);
  ASSERT_TRUE(WriteFileBytes(ini, "[Install]\r\nDownloadType=3\r\nIsCheckNet=true\r\nInstCmd=file\r\n"));
  InstallerSettings s;
  s.LoadFile(ini);
  s.ApplyOptions(CommandLineOptions::Parse(
      L"\"C:\\dir\\setup.exe\" -downloadtype=2 -downloadtype=3 -ischecknet -instcmd=\"a b\" -language=2 -insnew=true"));
  EXPECT_EQ(2, s.downloadType) << "the first occurrence wins";
  EXPECT_FALSE(s.isCheckNet) << "-ischecknet without a value turns the check off";
  EXPECT_EQ(L"a b", s.instCmd);
  EXPECT_EQ(2, s.language);
  EXPECT_TRUE(s.insNew);
}

TEST(Settings, OptionNumbers) {
  struct Case {
    const wchar_t* args;
    int type;
    double scale;
    int language;
  } cases[] = {
      {L"x -downloadtype=7 -downloadscale=0.4 -language=3", 7, 0.4, 3},
      {L"x -downloadtype=-2 -downloadscale=1.5", -2, 1.5, -1},  // stored unchecked
      {L"x -downloadtype=abc -language=", 0, 0.7, 0},           // not a number: 0
      {L"x -downloadscale=abc", 1, 0.7, -1},                     // unparsable scale keeps 0.7
      {L"x -downloadscale=nan -downloadtype=4294967297", 1, 0.7, -1},  // out of range keeps
      {L"x -DownloadType=3 -LANGUAGE=2", 1, 0.7, -1},                  // names are case-sensitive
      {L"x downloadtype=3 -downloadtype", 0, 0.7, -1},                 // no dash: no option; no value: 0
  };
  for (const auto& c : cases) {
    InstallerSettings s;
    s.ApplyOptions(CommandLineOptions::Parse(c.args));
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.args)));
    EXPECT_EQ(c.type, s.downloadType);
    EXPECT_DOUBLE_EQ(c.scale, s.downloadScale);
    EXPECT_EQ(c.language, s.language);
  }
}

TEST(CommandLine, SplitsNamesAndValues) {
  const CommandLineOptions o = CommandLineOptions::Parse(
      L"\"C:\\Program Files\\setup.exe\" -downloadurl=http://h/p?a=1&b=2 plain -flag -empty= \"-q=x y\"");
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {
      {L"C:\\Program Files\\setup.exe", L""}, {L"-downloadurl", L"http://h/p?a=1&b=2"}, {L"plain", L""},
      {L"-flag", L""}, {L"-empty", L""}, {L"-q", L"x y"}};
  EXPECT_EQ(expected, o.Entries());
  EXPECT_EQ(L"", o.GetOptionString(L"-missing"));
  EXPECT_FALSE(o.GetOptionBool(L"-flag"));
  EXPECT_EQ(0, o.GetOptionInt(L"-missing"));
  EXPECT_DOUBLE_EQ(9.5, o.GetOptionDouble(L"-missing", 9.5));
}

TEST(Route, ChosenByWindowsVersion) {
  struct Case {
    NtVersion v;
    const wchar_t* word;
  } cases[] = {
      {{10, 0, 19045, true}, L"download_silent"},
      {{6, 1, 7601, true}, L"download_silent"},
      {{5, 1, 2600, true}, L"download_silent_xp"},
      {{5, 3, 0, true}, L"download_silent_xp"},
      {{5, 0, 2195, true}, L"download_silent"},
      {{5, 2, 3790, true}, L"download_silent"},
      {{4, 0, 1381, true}, L"download_silent_xp"},
      {{0, 0, 0, true}, L"download_silent_xp"},
      {{11, 0, 0, true}, L"download_silent"},
      {{0, 0, 0, false}, L"download_silent_xp"},  // ntdll or the function missing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.v.major) + "." + std::to_string(c.v.minor));
    EXPECT_EQ(std::wstring(L"http://h/") + c.word + L"/pkg", ExpandRoute(L"http://h/${ROUTE}/pkg", c.v));
    EXPECT_EQ(std::wstring(L"http://h/") + c.word + L"/" + c.word,
              ExpandRoute(L"http://h/${ROUTE}/${ROUTE}", c.v));
  }
  EXPECT_EQ(L"http://h/a", ExpandRoute(L"http://h/a", NtVersion{}));
  EXPECT_EQ(L"http://h/$ROUTE}/{ROUTE}", ExpandRoute(L"http://h/$ROUTE}/{ROUTE}", NtVersion{}));
}

TEST(Route, SetDownloadUrlExpandsEveryAssignment) {
  InstallerSettings s;
  s.ApplyOptions(CommandLineOptions::Parse(L"x -downloadurl=http://h/${ROUTE}/f"));
  EXPECT_EQ(std::wstring::npos, s.downloadUrl.find(L"${ROUTE}"));
  EXPECT_EQ(ExpandRoute(L"http://h/${ROUTE}/f", QueryNtVersion()), s.downloadUrl);
}

}  // namespace
