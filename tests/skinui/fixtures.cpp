#include "tests/skinui/fixtures.h"

#include <gtest/gtest.h>

#include "skinui/ui_manager.h"
#include "tests/support/process.h"

namespace SkinUI {
void PrintTo(SkinFileStatus status, std::ostream* out) {
  static const char* const kNames[] = {"Ok",       "OpenFailed", "Empty",    "TooLarge",
                                       "ReadFailed", "NoArchive", "NotFound", "ExtractFailed"};
  *out << kNames[static_cast<int>(status)];
}
}  // namespace SkinUI

namespace SkinTest {

std::wstring FixturePath(const std::wstring& name) { return TestSupport::BinDir() + L"\\skinui-fixtures\\" + name; }

std::string ReadFixture(const std::wstring& name) {
  std::string bytes;
  EXPECT_TRUE(TestSupport::ReadFileBytes(FixturePath(name), &bytes)) << "missing fixture";
  return bytes;
}

void UsePlainFiles(const std::wstring& resourcePath) {
  SkinUI::CUIManager::SetResourceArchive(L"", true);
  SkinUI::CUIManager::SetResourcePath(resourcePath.c_str());
}

}  // namespace SkinTest
