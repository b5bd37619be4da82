// The resource settings and the skin archive resource of this program's own
// module (the installer's real skin, embedded as "ZIPRES" 147).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "skinui/archive_resource.h"
#include "skinui/skin_archive.h"
#include "skinui/skin_file.h"
#include "skinui/ui_manager.h"
#include "skinui/xml_markup.h"
#include "tests/skinui/fixtures.h"
#include "tests/support/process.h"

using namespace SkinUI;
using SkinTest::UsePlainFiles;

namespace {

TEST(ResourceSettings, ResourcePathGetsAFinalSeparator) {
  struct Case {
    const wchar_t* path;
    const wchar_t* stored;
  };
  const Case cases[] = {
      {L"", L""},
      {nullptr, L""},
      {L"C:\\skin", L"C:\\skin\\"},
      {L"C:\\skin\\", L"C:\\skin\\"},
      {L"skin/", L"skin/"},
      {L"a/b", L"a/b\\"},
  };
  for (const Case& c : cases) {
    CUIManager::SetResourcePath(c.path);
    EXPECT_EQ(c.stored, CUIManager::GetResourcePath()) << (c.path ? c.path : L"(null)");
  }
  CUIManager::SetResourcePath(L"");
}

TEST(ResourceSettings, InstanceAndItsFolder) {
  EXPECT_EQ(nullptr, CUIManager::GetInstance());
  EXPECT_EQ(L"", CUIManager::GetInstancePath());
  const HINSTANCE self = GetModuleHandleW(nullptr);
  CUIManager::SetInstance(self);
  EXPECT_EQ(self, CUIManager::GetInstance());
  EXPECT_EQ(self, CUIManager::GetResourceModule());
  EXPECT_EQ(TestSupport::BinDir() + L"\\", CUIManager::GetInstancePath());

  EXPECT_FALSE(CUIManager::IsResourceArchive7z());
  CUIManager::SetResourceArchive7z(true);
  EXPECT_TRUE(CUIManager::IsResourceArchive7z());
  EXPECT_TRUE(CUIManager::IsResourceArchiveCached());
  EXPECT_EQ(L"", CUIManager::GetResourceArchiveName());
}

TEST(SkinArchiveResource, MissingResourceLeavesTheWindowWithoutSkin) {
  EXPECT_FALSE(InstallSkinArchiveResource(GetModuleHandleW(nullptr), 148));
  EXPECT_FALSE(InstallSkinArchiveResource(GetModuleHandleW(L"kernel32.dll")));
  EXPECT_EQ(L"", CUIManager::GetResourceArchiveName());
  EXPECT_EQ(nullptr, CUIManager::GetResourceArchive());
}

// Everything below shares the one archive a process decodes from memory.
class RealSkin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    UsePlainFiles();
    ASSERT_TRUE(InstallSkinArchiveResource(GetModuleHandleW(nullptr)));
  }
  static void TearDownTestSuite() { UsePlainFiles(); }
};

TEST_F(RealSkin, IsDecodedFromMemoryOnce) {
  EXPECT_EQ(CUIManager::kMemoryArchiveName, CUIManager::GetResourceArchiveName());
  EXPECT_TRUE(CUIManager::IsResourceArchiveCached());
  SkinArchive* first = CUIManager::GetResourceArchive();
  ASSERT_NE(nullptr, first);
  const size_t entries = first->entries.size();

  // A second window, and any other bytes handed over later, reuse it.
  EXPECT_TRUE(InstallSkinArchiveResource(GetModuleHandleW(nullptr)));
  const std::string other = SkinTest::ReadFixture(L"fixture.7z");
  CUIManager::SetResourceArchiveFromMemory(other.data(), other.size());
  EXPECT_EQ(first, CUIManager::GetResourceArchive());
  EXPECT_EQ(entries, first->entries.size());
}

TEST_F(RealSkin, EveryWindowSkinParses) {
  // Asked for as the windows ask; stored as "mainWnd.xml" and "exitTipWnd.xml".
  const wchar_t* skins[] = {L"MainWnd.xml",        L"MessageBox1Wnd.xml", L"MessageBox2Wnd.xml",
                            L"InstalledPathTipWnd.xml", L"NetworkTipWnd.xml", L"ExitTipWnd.xml"};
  for (const wchar_t* skin : skins) {
    CXmlMarkup markup;
    ASSERT_TRUE(markup.LoadFromFile(skin)) << skin << ": " << markup.GetLastErrorMessage();
    EXPECT_STREQ(L"Window", markup.GetRoot().GetName()) << skin;
    wchar_t size[16] = {};
    EXPECT_TRUE(markup.GetRoot().GetAttributeValue(L"size", size, 15)) << skin;
  }
}

TEST_F(RealSkin, PathsFindTheSameEntryWhateverTheirSpelling) {
  const SkinArchive* archive = CUIManager::GetResourceArchive();
  uint32_t expected = 0;
  uint64_t size = 0;
  ASSERT_TRUE(SkinArchiveFind(archive, L"res/mainWnd/logo.png", &expected, &size));
  for (const wchar_t* name : {L"res\\mainWnd\\logo.png", L"RES\\MAINWND\\LOGO.PNG", L"Res/MainWnd/Logo.png"}) {
    uint32_t index = 0;
    EXPECT_TRUE(SkinArchiveFind(archive, name, &index, nullptr)) << name;
    EXPECT_EQ(expected, index) << name;
  }
  for (const wchar_t* name : {L"res/common", L"res\\common\\", L"res/mainWnd/logo", L"res"}) {
    EXPECT_FALSE(SkinArchiveFind(archive, name, nullptr, nullptr)) << name;
  }
  // Images come out as the PNG files they were.
  std::vector<unsigned char> bytes;
  ASSERT_EQ(SkinFileStatus::Ok, ReadSkinFile(L"res\\mainWnd\\installBtnAnimate\\000.png", 1 << 20, bytes));
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(0, memcmp(bytes.data(), "\x89PNG\r\n\x1A\n", 8));
  EXPECT_EQ(SkinFileStatus::TooLarge, ReadSkinFile(L"res\\mainWnd\\logo.png", size - 1, bytes));
  EXPECT_TRUE(bytes.empty());
}

// Bytes that are not an archive, handed over first, stay for the process too.
TEST(UndecodableSkinArchive, EveryLookupFails) {
  UsePlainFiles();
  const std::string garbage = "definitely not a 7z archive";
  CUIManager::SetResourceArchiveFromMemory(garbage.data(), garbage.size());
  EXPECT_EQ(CUIManager::kMemoryArchiveName, CUIManager::GetResourceArchiveName());
  EXPECT_EQ(nullptr, CUIManager::GetResourceArchive());
  EXPECT_TRUE(InstallSkinArchiveResource(GetModuleHandleW(nullptr)));
  EXPECT_EQ(nullptr, CUIManager::GetResourceArchive()) << "not decoded a second time";
  CXmlMarkup markup;
  EXPECT_FALSE(markup.LoadFromFile(L"MainWnd.xml"));
  EXPECT_STREQ(L"Error opening zip file", markup.GetLastErrorMessage());
  UsePlainFiles();
}

}  // namespace
