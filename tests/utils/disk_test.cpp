// Free space, the installer's working folder and folder trees on the real
// file system under Wine.
#include <gtest/gtest.h>

#include <windows.h>

#include <mutex>
#include <vector>

#include "app/log.h"
#include "tests/support/process.h"
#include "utils/disk.h"

using TestSupport::TempDir;

namespace {
bool IsFolder(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring>* g_lines = nullptr;
void Collect(const wchar_t* line, size_t length) {
  if (g_lines) g_lines->emplace_back(line, length);
}

// A drive letter the system does not have.
std::wstring MissingDrive() {
  const DWORD drives = GetLogicalDrives();
  for (int letter = 'Q'; letter <= 'Y'; ++letter)
    if (!(drives & (1u << (letter - 'A')))) return std::wstring(1, static_cast<wchar_t>(letter)) + L":";
  return L"";
}

// Points the user's temporary folder (TMP) somewhere else for one test.
struct TempPathOverride {
  explicit TempPathOverride(const std::wstring& path) {
    wchar_t old[MAX_PATH] = {};
    hadOld = GetEnvironmentVariableW(L"TMP", old, MAX_PATH) > 0;
    saved = old;
    SetEnvironmentVariableW(L"TMP", path.c_str());
  }
  ~TempPathOverride() { SetEnvironmentVariableW(L"TMP", hadOld ? saved.c_str() : nullptr); }
  bool hadOld = false;
  std::wstring saved;
};

TEST(CreateFolderTree, CreatesWhatIsMissing) {
  TempDir dir;
  const std::wstring base = dir.Path();
  ASSERT_TRUE(TestSupport::WriteFileBytes(base + L"\\afile", "x"));
  CreateDirectoryW((base + L"\\Apps").c_str(), nullptr);
  const struct {
    const char* name;
    std::wstring path;
    bool result;
    std::wstring mustExist;
  } cases[] = {
      {"two new levels", base + L"\\Apps\\New\\Sub", true, base + L"\\Apps\\New\\Sub"},
      {"trailing backslash", base + L"\\T1\\T2\\", true, base + L"\\T1\\T2"},
      {"existing folder", base + L"\\Apps", true, base + L"\\Apps"},
      {"drive root", L"C:\\", true, L"C:\\"},
      {"blanks and Chinese", base + L"\\Program Files\\帕洛", true, base + L"\\Program Files\\帕洛"},
      {"a file in the way", base + L"\\afile", false, L""},
      {"below a file", base + L"\\afile\\sub", false, L""},
      {"missing drive", MissingDrive() + L"\\a\\b", false, L""},
      {"empty", L"", false, L""},
      {"longer than 260", base + L"\\" + std::wstring(261, L'n'), false, L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.result, Utils::CreateFolderTree(c.path)) << c.name;
    if (!c.mustExist.empty()) {
      EXPECT_TRUE(IsFolder(c.mustExist)) << c.name;
    }
  }
}

TEST(InstallerTempFolder, MadeOnceUnderTheTemporaryFolder) {
  TempDir dir;
  TempPathOverride tmp(dir.Path());
  const std::wstring expected = dir.Path() + L"\\~KorVaneTemp.92482B06FB471E17\\";
  EXPECT_EQ(expected, Utils::GetInstallerTempFolder());
  EXPECT_TRUE(IsFolder(expected));
  ASSERT_TRUE(TestSupport::WriteFileBytes(expected + L"marker", "m"));
  EXPECT_EQ(expected, Utils::GetInstallerTempFolder()) << "the second call finds it";
  std::string bytes;
  EXPECT_TRUE(TestSupport::ReadFileBytes(expected + L"marker", &bytes)) << "and leaves it as it was";
}

TEST(InstallerTempFolder, EmptyWhenItCannotBeMade) {
  TempDir dir;
  const struct {
    const char* name;
    std::wstring tmp;
  } cases[] = {
      {"temporary folder missing", dir.Path() + L"\\gone\\deeper"},
      {"path beyond 259 characters", dir.Path() + L"\\" + std::wstring(250 - dir.Path().size(), L'l')},
  };
  for (const auto& c : cases) {
    TempPathOverride tmp(c.tmp);
    EXPECT_EQ(L"", Utils::GetInstallerTempFolder()) << c.name;
  }
}

TEST(HardDiskManager, FreeSpaceOfADrive) {
  Utils::HardDiskManager disk;
  ASSERT_TRUE(disk.CheckFreeSpace(L"C:"));
  EXPECT_GT(disk.totalBytes, 0u);
  EXPECT_GT(disk.freeBytesAvailable, 0u);
  EXPECT_LE(disk.freeBytesAvailable, disk.totalBytes);
  EXPECT_LE(disk.totalFreeBytes, disk.totalBytes);
}

TEST(HardDiskManager, MissingDriveFailsLogsAndKeepsTheFields) {
  const std::wstring drive = MissingDrive();
  ASSERT_FALSE(drive.empty());
  Utils::HardDiskManager disk;
  disk.freeBytesAvailable = disk.totalBytes = disk.totalFreeBytes = 7;
  std::vector<std::wstring> lines;
  g_lines = &lines;
  Log::SetSink(Collect);
  const bool ok = disk.CheckFreeSpace(drive);
  Log::SetSink(nullptr);
  g_lines = nullptr;
  EXPECT_FALSE(ok);
  EXPECT_EQ(7u, disk.freeBytesAvailable);
  EXPECT_EQ(7u, disk.totalBytes);
  EXPECT_EQ(7u, disk.totalFreeBytes);
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::wstring::npos, lines[0].find(L"(Utils::HardDiskManager::CheckFreeSpace)")) << lines[0];
  EXPECT_NE(std::wstring::npos, lines[0].find(L": HardDiskManager::CheckFreeSpace FAIL code=")) << lines[0];
  EXPECT_NE(std::wstring::npos, lines[0].find(L"\r\n")) << lines[0];
}

}  // namespace
