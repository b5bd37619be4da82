// Loading a skin file by name: from plain files below the resource path and
// from a 7z archive file (kept open or opened for each read), with every file
// message of the reader.
#include <gtest/gtest.h>

#include <windows.h>

#include "skinui/skin_archive.h"
#include "skinui/ui_manager.h"
#include "skinui/xml_markup.h"
#include "tests/skinui/fixtures.h"
#include "tests/support/process.h"
#include "utils/handle.h"

using namespace SkinUI;
using SkinTest::FixturePath;
using SkinTest::UsePlainFiles;

namespace {

// The root's name, or the failure message (the location must be empty).
std::wstring LoadFile(const wchar_t* name) {
  CXmlMarkup markup;
  if (!markup.LoadFromFile(name)) {
    EXPECT_STREQ(L"", markup.GetLastErrorLocation()) << name;
    EXPECT_FALSE(markup.GetRoot().IsValid());
    return std::wstring(L"error: ") + markup.GetLastErrorMessage();
  }
  return markup.GetRoot().GetName();
}

struct Case {
  const wchar_t* name;
  const wchar_t* result;
};

class XmlFile : public ::testing::Test {
 protected:
  void TearDown() override { UsePlainFiles(); }
};

TEST_F(XmlFile, PlainFiles) {
  UsePlainFiles(FixturePath(L"tree"));
  EXPECT_EQ(FixturePath(L"tree\\"), CUIManager::GetResourcePath());
  const Case cases[] = {
      {L"a.xml", L"Window"},
      {L"res\\..\\a.xml", L"Window"},
      {L"missing.xml", L"error: Error opening file"},
      {L"res", L"error: Error opening file"},
      {L"empty.xml", L"error: File is empty"},
      {L"limit.xml", L"Window"},
      {L"over.xml", L"error: File too large"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, LoadFile(c.name)) << c.name;
}

bool ReadsWhole(const std::wstring& path) {
  Utils::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.Get(), &size)) return true;
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  return ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size();
}

TEST_F(XmlFile, PlainFileThatCannotBeReadWhole) {
  // Windows refuses a read across another handle's byte-range lock. Wine does
  // not enforce such locks, but there a Linux sysfs file, which reports 4096
  // bytes and holds a few, gives the same short read.
  TestSupport::TempDir dir;
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir.File(L"locked.xml"), "<Window>" + std::string(5000, ' ') + "</Window>"));
  Utils::UniqueFile other(
      CreateFileW(dir.File(L"locked.xml").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(other);
  ASSERT_TRUE(LockFile(other.Get(), 100, 0, 100, 0));
  std::wstring folder = dir.Path(), name = L"locked.xml";
  if (ReadsWhole(dir.File(name))) {
    folder = L"Z:\\sys\\devices\\system\\cpu";
    name = L"online";
    ASSERT_FALSE(ReadsWhole(folder + L"\\" + name)) << "no file with a short read on this system";
  }
  UsePlainFiles(folder);
  EXPECT_EQ(L"error: Could not read file", LoadFile(name.c_str()));
  UnlockFile(other.Get(), 100, 0, 100, 0);
}

TEST_F(XmlFile, CachedArchiveFile) {
  UsePlainFiles(FixturePath(L""));
  CUIManager::SetResourceArchive(L"fixture.7z", true);
  ASSERT_NE(nullptr, CUIManager::GetResourceArchive());
  const Case cases[] = {
      {L"a.xml", L"Window"},
      {L"A.XML", L"Window"},
      {L"missing.xml", L"error: Could not find ziped file"},
      {L"res\\common", L"error: Could not find ziped file"},
      {L"empty.xml", L"error: File is empty"},
      {L"limit.xml", L"Window"},
      {L"over.xml", L"error: File too large"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, LoadFile(c.name)) << c.name;

  // An entry whose bytes were lost cannot be copied out.
  for (SkinArchiveEntry& e : CUIManager::GetResourceArchive()->entries) {
    if (e.name == L"a.xml") e.bytes.clear();
  }
  EXPECT_EQ(L"error: Could not unzip file", LoadFile(L"a.xml"));
}

TEST_F(XmlFile, ArchiveFileOpenedForEachRead) {
  UsePlainFiles(FixturePath(L""));
  CUIManager::SetResourceArchive(L"fixture.7z", false);
  EXPECT_EQ(nullptr, CUIManager::GetResourceArchive());
  EXPECT_EQ(L"Window", LoadFile(L"a.xml"));
  EXPECT_EQ(L"error: File is empty", LoadFile(L"empty.xml"));
}

TEST_F(XmlFile, NoArchive) {
  UsePlainFiles(FixturePath(L""));
  for (bool cached : {true, false}) {
    for (const wchar_t* archive : {L"missing.7z", L"notes.txt"}) {
      CUIManager::SetResourceArchive(archive, cached);
      EXPECT_EQ(nullptr, CUIManager::GetResourceArchive());
      EXPECT_EQ(L"error: Error opening zip file", LoadFile(L"a.xml")) << archive << " cached " << cached;
    }
  }
}

TEST_F(XmlFile, LoadFromFileReleasesThePreviousDocument) {
  UsePlainFiles(FixturePath(L"tree"));
  CXmlMarkup markup(L"<Old/>");
  ASSERT_TRUE(markup.GetRoot().IsValid());
  EXPECT_FALSE(markup.LoadFromFile(L"missing.xml"));
  EXPECT_FALSE(markup.GetRoot().IsValid());
}

}  // namespace
