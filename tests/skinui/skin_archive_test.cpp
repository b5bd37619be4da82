// Decoding a 7z archive into the entry table, and looking entries up.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "skinui/skin_archive.h"
#include "tests/skinui/fixtures.h"
#include "tests/skinui/guarded_buffer.h"
#include "tests/support/process.h"

using namespace SkinUI;
using SkinTest::FixturePath;
using SkinTest::GuardedBuffer;
using SkinTest::ReadFixture;

namespace {

std::unique_ptr<SkinArchive> OpenFixture() {
  const std::string bytes = ReadFixture(L"fixture.7z");
  return SkinArchiveOpenMemory(bytes.data(), bytes.size());
}

std::string ReadTreeFile(const std::wstring& relative) {
  std::string bytes;
  EXPECT_TRUE(TestSupport::ReadFileBytes(FixturePath(L"tree\\" + relative), &bytes));
  return bytes;
}

std::string Extracted(const SkinArchive* archive, const wchar_t* name) {
  uint32_t index = 0;
  uint64_t size = 0;
  if (!SkinArchiveFind(archive, name, &index, &size)) return "<not found>";
  std::string bytes(static_cast<size_t>(size), '\0');
  if (!SkinArchiveExtract(archive, index, &bytes[0], bytes.size())) return "<extract failed>";
  return bytes;
}

TEST(SkinArchive, DecodesEveryFileButNoFolders) {
  std::unique_ptr<SkinArchive> archive = OpenFixture();
  ASSERT_TRUE(archive);
  std::vector<std::wstring> names;
  for (const SkinArchiveEntry& e : archive->entries) {
    names.push_back(e.name);
    EXPECT_EQ(e.name.size() + 1, e.nameLength) << e.name;
    EXPECT_EQ(e.size, e.bytes.size()) << e.name;
  }
  std::sort(names.begin(), names.end());
  const std::vector<std::wstring> expected = {L"a.xml",     L"empty.xml", L"limit.xml", L"over.xml",
                                              L"res/common/closebtn.png", L"res/mainWnd/logo.png"};
  EXPECT_EQ(expected, names);
  EXPECT_EQ(ReadTreeFile(L"res\\mainWnd\\logo.png"), Extracted(archive.get(), L"res/mainWnd/logo.png"));
  EXPECT_EQ(ReadTreeFile(L"limit.xml"), Extracted(archive.get(), L"limit.xml"));
}

TEST(SkinArchive, FindRules) {
  std::unique_ptr<SkinArchive> archive = OpenFixture();
  ASSERT_TRUE(archive);
  uint32_t logoIndex = 0;
  uint64_t logoSize = 0;
  ASSERT_TRUE(SkinArchiveFind(archive.get(), L"res/mainWnd/logo.png", &logoIndex, &logoSize));
  EXPECT_EQ(ReadTreeFile(L"res\\mainWnd\\logo.png").size(), logoSize);

  struct Case {
    const wchar_t* name;
    bool found;
  };
  const Case cases[] = {
      {L"res\\mainWnd\\logo.png", true},  {L"res/mainWnd\\logo.png", true}, {L"RES\\MAINWND\\LOGO.PNG", true},
      {L"res/mainwnd/Logo.Png", true},    {L"res/common", false},           {L"res/common/", false},
      {L"res", false},                    {L"res/mainWnd/logo", false},     {L"res/mainWnd/logo.png ", false},
      {L"/res/mainWnd/logo.png", false},  {L"mainWnd/logo.png", false},     {L"", false},
      {L"res/unused", false},
  };
  for (const Case& c : cases) {
    uint32_t index = 0xDEAD;
    uint64_t size = 0;
    EXPECT_EQ(c.found, SkinArchiveFind(archive.get(), c.name, &index, &size)) << c.name;
    if (c.found) {
      EXPECT_EQ(logoIndex, index) << c.name;
      EXPECT_EQ(logoSize, size) << c.name;
    }
  }
  EXPECT_FALSE(SkinArchiveFind(archive.get(), nullptr, nullptr, nullptr));
  EXPECT_FALSE(SkinArchiveFind(nullptr, L"a.xml", nullptr, nullptr));
}

TEST(SkinArchive, EmptyFileIsFoundWithSizeZero) {
  std::unique_ptr<SkinArchive> archive = OpenFixture();
  ASSERT_TRUE(archive);
  uint32_t index = 0;
  uint64_t size = 99;
  ASSERT_TRUE(SkinArchiveFind(archive.get(), L"EMPTY.xml", &index, &size));
  EXPECT_EQ(0u, size);
  EXPECT_TRUE(SkinArchiveExtract(archive.get(), index, nullptr, 0));
}

TEST(SkinArchive, ExtractRefusals) {
  std::unique_ptr<SkinArchive> archive = OpenFixture();
  ASSERT_TRUE(archive);
  uint32_t index = 0;
  uint64_t size = 0;
  ASSERT_TRUE(SkinArchiveFind(archive.get(), L"a.xml", &index, &size));
  std::string buffer(static_cast<size_t>(size) + 8, '#');
  EXPECT_FALSE(SkinArchiveExtract(archive.get(), index, &buffer[0], static_cast<size_t>(size) - 1)) << "too small";
  EXPECT_EQ(std::string(buffer.size(), '#'), buffer) << "nothing written on refusal";
  EXPECT_FALSE(SkinArchiveExtract(archive.get(), 12345, &buffer[0], buffer.size())) << "no such index";
  EXPECT_FALSE(SkinArchiveExtract(nullptr, index, &buffer[0], buffer.size())) << "no archive";
  ASSERT_TRUE(SkinArchiveExtract(archive.get(), index, &buffer[0], buffer.size()));
  EXPECT_EQ(ReadTreeFile(L"a.xml") + std::string(8, '#'), buffer) << "exactly the entry's bytes";

  // An entry that lost its bytes must not be copied out short.
  for (SkinArchiveEntry& e : archive->entries) {
    if (e.index == index) e.bytes.resize(3);
  }
  EXPECT_FALSE(SkinArchiveExtract(archive.get(), index, &buffer[0], buffer.size()));
}

TEST(SkinArchive, TruncatedArchiveGivesNoHandle) {
  const std::string whole = ReadFixture(L"fixture.7z");
  // Cuts inside the signature header, in the packed data, and inside the
  // header at the end, each read from a buffer that ends at a guard page.
  const size_t cuts[] = {0, 1, 6, 31, 32, 33, whole.size() / 2, whole.size() - 40, whole.size() - 1};
  for (size_t cut : cuts) {
    GuardedBuffer input(whole.substr(0, cut));
    EXPECT_FALSE(SkinArchiveOpenMemory(input.data(), input.size())) << "cut at " << cut;
  }
  EXPECT_FALSE(SkinArchiveOpenMemory(nullptr, 10));
}

TEST(SkinArchive, FileThatFailsToDecodeEndsTheTable) {
  std::string bytes = ReadFixture(L"partial.7z");
  const size_t marker = bytes.find("SECOND-FILE-MARKER");
  ASSERT_NE(std::string::npos, marker);
  std::unique_ptr<SkinArchive> intact = SkinArchiveOpenMemory(bytes.data(), bytes.size());
  ASSERT_TRUE(intact);
  ASSERT_EQ(3u, intact->entries.size());
  ASSERT_EQ(L"2.xml", intact->entries[1].name);

  bytes[marker] ^= 0x20;  // the stored copy no longer matches its checksum
  std::unique_ptr<SkinArchive> damaged = SkinArchiveOpenMemory(bytes.data(), bytes.size());
  ASSERT_TRUE(damaged);
  ASSERT_EQ(1u, damaged->entries.size());
  EXPECT_EQ(L"1.xml", damaged->entries[0].name);
  EXPECT_NE("<not found>", Extracted(damaged.get(), L"1.xml"));
  EXPECT_EQ("<not found>", Extracted(damaged.get(), L"2.xml"));
  EXPECT_EQ("<not found>", Extracted(damaged.get(), L"3.xml"));
}

TEST(SkinArchive, OpenFromFile) {
  std::unique_ptr<SkinArchive> archive = SkinArchiveOpenFile(FixturePath(L"fixture.7z"));
  ASSERT_TRUE(archive);
  EXPECT_EQ(ReadTreeFile(L"a.xml"), Extracted(archive.get(), L"A.XML"));
  EXPECT_FALSE(SkinArchiveOpenFile(FixturePath(L"missing.7z")));
  EXPECT_FALSE(SkinArchiveOpenFile(FixturePath(L"notes.txt")));
  EXPECT_FALSE(SkinArchiveOpenFile(FixturePath(L"")));  // a folder
}

TEST(SkinArchive, Close) {
  std::unique_ptr<SkinArchive> archive = OpenFixture();
  ASSERT_TRUE(archive);
  EXPECT_TRUE(SkinArchiveClose(archive));
  EXPECT_FALSE(archive);
  EXPECT_FALSE(SkinArchiveClose(archive));
}

}  // namespace
