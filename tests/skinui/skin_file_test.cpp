// The shared rule for reading one skin file, with a caller's own limit.
#include <gtest/gtest.h>

#include <windows.h>

#include "skinui/skin_file.h"
#include "skinui/ui_manager.h"
#include "tests/skinui/fixtures.h"
#include "tests/support/process.h"
#include "utils/handle.h"

using namespace SkinUI;

namespace {

TEST(SkinFile, LimitsAreTheCallersOwn) {
  SkinTest::UsePlainFiles(SkinTest::FixturePath(L"tree"));
  std::vector<unsigned char> bytes;
  EXPECT_EQ(SkinFileStatus::Ok, ReadSkinFile(L"limit.xml", 4194304, bytes));
  EXPECT_EQ(4194304u, bytes.size());
  EXPECT_EQ(SkinFileStatus::TooLarge, ReadSkinFile(L"limit.xml", 4194303, bytes));
  EXPECT_TRUE(bytes.empty()) << "emptied on failure";
  EXPECT_EQ(SkinFileStatus::Ok, ReadSkinFile(L"res/common/closebtn.png", UINT64_MAX, bytes));
  EXPECT_EQ(SkinFileStatus::OpenFailed, ReadSkinFile(nullptr, UINT64_MAX, bytes)) << "the folder itself";
  SkinTest::UsePlainFiles();
}

TEST(SkinFile, FileBeyondWhatTheProcessHoldsIsTooLarge) {
  // A sparse file of 4 GiB + 10 bytes: its size cut to 32 bits would be 10.
  TestSupport::TempDir dir;
  {
    Utils::UniqueFile file(CreateFileW(dir.File(L"huge.png").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(file);
    LARGE_INTEGER end;
    end.QuadPart = (1ll << 32) + 10;
    ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.Get()));
  }
  SkinTest::UsePlainFiles(dir.Path());
  std::vector<unsigned char> bytes;
  EXPECT_EQ(SkinFileStatus::TooLarge, ReadSkinFile(L"huge.png", UINT64_MAX, bytes));
  EXPECT_TRUE(bytes.empty());
  SkinTest::UsePlainFiles();
}

}  // namespace
