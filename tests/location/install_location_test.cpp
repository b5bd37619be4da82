// Where the product goes: default folder rules, custom folders, the override
// switch, the registry record and the identity files, against the real
// registry, shell folders and private-profile files of the Wine prefix.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "app/analytics_identity.h"
#include "app/install_location.h"
#include "tests/support/process.h"
#include "utils/handle.h"
#include "utils/text.h"

using namespace TestSupport;

namespace {

AccountProbes Accounts(bool consoleAdmin, bool processAdmin) {
  AccountProbes p;
  p.consoleUserName = [](std::wstring* user) {
    *user = L"someone";
    return true;
  };
  p.isUserAccountAdmin = [consoleAdmin](const std::wstring&) { return consoleAdmin; };
  p.isAdministratorsMember = [processAdmin] { return processAdmin; };
  return p;
}

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

std::wstring Env(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  GetEnvironmentVariableW(name, value, MAX_PATH);
  return value;
}

// Restores APPDATA for the next case.
struct ScopedAppData {
  std::wstring saved = Env(L"APPDATA");
  ~ScopedAppData() { SetEnvironmentVariableW(L"APPDATA", saved.c_str()); }
};

class InstallLocationTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kProductRegistryKey); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kProductRegistryKey); }
  // An earlier installation in `folder`, with or without its uninstaller file.
  void Register(const std::wstring& folder, bool uninstallerPresent) {
    InstallLocation writer;
    ASSERT_TRUE(writer.WriteRegistryString(L"InstallPath", folder));
    CreateDirectoryW(folder.c_str(), nullptr);
    if (uninstallerPresent) {
      ASSERT_TRUE(WriteFileBytes(folder + L"\\uninst.ep", "MZ"));
    }
  }
  TempDir dir_;
};

TEST_F(InstallLocationTest, DefaultFolderFollowsTheAccounts) {
  const std::wstring appData = Env(L"APPDATA");
  ASSERT_FALSE(appData.empty());
  const std::wstring programFiles = ShellFolder(CSIDL_PROGRAM_FILESX86);
  struct Case {
    bool consoleAdmin, processAdmin, withAppData;
    std::wstring expected;
  } cases[] = {
      {true, true, true, appData + L"\\korvane\\parlomind"},
      {false, true, true, programFiles + L"\\parlomind"},  // elevated by a standard user
      {true, false, true, programFiles + L"\\parlomind"},
      {false, false, true, programFiles + L"\\parlomind"},
      {true, true, false, programFiles + L"\\parlomind"},  // no APPDATA to read
  };
  for (const auto& c : cases) {
    ScopedAppData restore;
    if (!c.withAppData) SetEnvironmentVariableW(L"APPDATA", nullptr);
    InstallLocation location(Accounts(c.consoleAdmin, c.processAdmin));
    location.LoadInstallRecord();
    EXPECT_EQ(c.expected, location.ResolveDefaultInstallDir())
        << c.consoleAdmin << c.processAdmin << c.withAppData;
    EXPECT_EQ(c.consoleAdmin, location.consoleUserIsAdmin);
    EXPECT_EQ(c.processAdmin, location.processIsAdmin);
  }
}

TEST_F(InstallLocationTest, EarlierFolderIsProposedOnlyWithItsUninstaller) {
  const std::wstring earlier = dir_.File(L"Earlier");
  Register(earlier, false);
  InstallLocation location(Accounts(false, false));
  location.LoadInstallRecord();
  EXPECT_EQ(earlier, location.registeredInstallPath);
  EXPECT_EQ(earlier + L"\\uninst.ep", location.registeredUninstaller) << "derived when not recorded";
  EXPECT_EQ(ShellFolder(CSIDL_PROGRAM_FILESX86) + L"\\parlomind", location.ResolveDefaultInstallDir());

  ASSERT_TRUE(WriteFileBytes(earlier + L"\\uninst.ep", "MZ"));
  EXPECT_EQ(earlier, location.ResolveDefaultInstallDir());
  // Keeping the proposed folder on the custom page does not nest "parlomind" again.
  EXPECT_EQ(earlier, location.ChosenInstallDir(earlier));
  EXPECT_EQ(earlier, location.ChosenInstallDir(earlier + L"\\"));
}

TEST_F(InstallLocationTest, CustomFolders) {
  InstallLocation location(Accounts(false, false));
  location.LoadInstallRecord();
  const std::wstring def = location.ResolveDefaultInstallDir();
  struct Case {
    std::wstring typed, expected;
  } cases[] = {
      {L"D:/Apps/Tools", L"D:\\Apps\\Tools\\parlomind"},
      {L"D:\\Apps", L"D:\\Apps\\parlomind"},
      {L"D:\\Apps\\", L"D:\\Apps\\parlomind"},
      {def, def},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, location.ChosenInstallDir(c.typed)) << Utils::ToNarrow(c.typed, CP_UTF8);
  EXPECT_TRUE(location.IsDefaultInstallDir(def));
  EXPECT_FALSE(location.IsDefaultInstallDir(L"D:\\Apps"));
}

TEST_F(InstallLocationTest, OverrideSwitchInTheRegisteredFolder) {
  const std::wstring earlier = dir_.File(L"Earlier");
  Register(earlier, true);
  struct Case {
    const char* setIni;  // nullptr: no file
    bool sameFolder;
    bool disabled;
  } cases[] = {
      {"[Uninstall]\r\nIsOverride=false\r\n", true, true},
      {"[Uninstall]\r\nIsOverride=False\r\n", true, false},
      {"[Uninstall]\r\nIsOverride=true\r\n", true, false},
      {nullptr, true, false},
      {"[Uninstall]\r\nIsOverride=false\r\n", false, false},
  };
  for (const auto& c : cases) {
    DeleteFileW((earlier + L"\\set.ini").c_str());
    if (c.setIni) {
      ASSERT_TRUE(WriteFileBytes(earlier + L"\\set.ini", c.setIni));
    }
    InstallLocation location(Accounts(false, false));
    location.LoadInstallRecord();
    const std::wstring target = c.sameFolder ? earlier + L"\\" : dir_.File(L"Other");
    EXPECT_EQ(c.disabled, location.IsOverrideDisabled(target)) << (c.setIni ? c.setIni : "no set.ini");
  }
  InstallLocation fresh(Accounts(false, false));  // no registered folder at all
  RegDeleteTreeW(HKEY_CURRENT_USER, kProductRegistryKey);
  fresh.LoadInstallRecord();
  EXPECT_FALSE(fresh.IsOverrideDisabled(earlier));
}

TEST_F(InstallLocationTest, RecordIsWrittenAfterTheInstall) {
  const std::wstring folder = dir_.File(L"Installed");
  CreateDirectoryW(folder.c_str(), nullptr);

  InstallLocation location(Accounts(false, false));
  location.installPath = folder;
  location.SaveInstallRecord();
  std::wstring value;
  EXPECT_TRUE(location.ReadRegistryString(L"InstallPath", &value));
  EXPECT_EQ(folder, value);
  EXPECT_FALSE(location.ReadRegistryString(L"UnInstallEp", &value)) << "no uninstaller file: no value";

  ASSERT_TRUE(WriteFileBytes(folder + L"\\uninst.ep", "MZ"));
  InstallLocation again(Accounts(false, false));
  again.installPath = folder;
  again.SaveInstallRecord();
  EXPECT_TRUE(again.ReadRegistryString(L"UnInstallEp", &value));
  EXPECT_EQ(folder + L"\\uninst.ep", value);

  // REG_SZ with the terminator counted in the data size.
  HKEY raw = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kProductRegistryKey, 0, KEY_READ, &raw));
  Utils::UniqueRegKey key(raw);
  DWORD type = 0, size = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.Get(), L"InstallPath", nullptr, &type, nullptr, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ((folder.size() + 1) * sizeof(wchar_t), size);
}

TEST_F(InstallLocationTest, RegistryTextWithoutTerminatorReadsWhole) {
  InstallLocation location(Accounts(false, false));
  ASSERT_TRUE(location.WriteRegistryString(L"InstallPath", L"x"));  // creates the key
  HKEY raw = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kProductRegistryKey, 0, KEY_SET_VALUE, &raw));
  Utils::UniqueRegKey key(raw);
  const wchar_t text[] = {L'C', L':', L'\\', L'P'};
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Get(), L"InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                          sizeof(text)));
  std::wstring value = L"untouched";
  EXPECT_TRUE(location.ReadRegistryString(L"InstallPath", &value));
  EXPECT_EQ(L"C:\\P", value);
  value = L"untouched";
  EXPECT_FALSE(location.ReadRegistryString(L"NoSuchValue", &value));
  EXPECT_EQ(L"untouched", value);
}

TEST_F(InstallLocationTest, IdentityFiles) {
  const std::wstring folder = dir_.File(L"Installed");
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring setIni = folder + L"\\set.ini";
  ASSERT_TRUE(WriteFileBytes(setIni, "[Uninstall]\r\nIsOverride=false\r\n"));

  WriteAnalyticsIdentity(folder);
  wchar_t first[64] = {}, second[64] = {}, name[64] = {}, app[64] = {}, path[MAX_PATH] = {}, kept[16] = {};
  GetPrivateProfileStringW(L"Install", L"DeviceID", L"", first, 64, setIni.c_str());
  WriteAnalyticsIdentity(folder);
  GetPrivateProfileStringW(L"Install", L"DeviceID", L"", second, 64, setIni.c_str());
  GetPrivateProfileStringW(L"Install", L"APPStore", L"", name, 64, setIni.c_str());
  GetPrivateProfileStringW(L"Install", L"AppName", L"", app, 64, setIni.c_str());
  GetPrivateProfileStringW(L"Install", L"ZEDoveravEzidizizoIni", L"", path, MAX_PATH, setIni.c_str());
  GetPrivateProfileStringW(L"Uninstall", L"IsOverride", L"", kept, 16, setIni.c_str());

  EXPECT_EQ(32u, wcslen(first));
  EXPECT_STRNE(first, second) << "every call makes a new device id";
  EXPECT_STREQ(L"install_location_test.exe", name) << "the running program's own file name";
  EXPECT_STREQ(L"parlomind", app);
  EXPECT_STREQ(L"false", kept) << "the package's own section stays";
  EXPECT_EQ(Env(L"APPDATA") + L"\\KorVaneData\\parlomind\\ZEDoveravEzidizizo.ini", std::wstring(path));
  wchar_t stamp[64] = {};
  GetPrivateProfileStringW(L"Init", L"UpdateTime", L"", stamp, 64, path);
  EXPECT_EQ(19u, wcslen(stamp));
}

TEST_F(InstallLocationTest, DataFolderFallsBackToSharedDocuments) {
  ScopedAppData restore;
  SetEnvironmentVariableW(L"APPDATA", nullptr);
  EXPECT_EQ(ShellFolder(CSIDL_COMMON_DOCUMENTS) + L"\\KorVaneData\\parlomind", ProductDataDir());
}

TEST(UpdateTime, Format) {
  struct Case {
    SYSTEMTIME t;
    const wchar_t* expected;
  } cases[] = {
      {{2024, 3, 2, 5, 7, 8, 9, 0}, L"2024-03-05 07:08:09"},
      {{999, 12, 0, 31, 23, 59, 58, 0}, L"999-12-31 23:59:58"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, FormatUpdateTime(c.t));
}

TEST(PumpMessagesBriefly, ReturnsWithNothingQueuedAndKeepsQuit) {
  PumpMessagesBriefly(nullptr);  // must not wait for a message that never comes
  PostQuitMessage(7);
  PumpMessagesBriefly(nullptr);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "WM_QUIT is posted again";
  EXPECT_EQ(7u, msg.wParam);
}

}  // namespace
