#pragma once
// The skin test archives made at build time (tests/skinui/MakeFixtures.cmake)
// in bin/skinui-fixtures, and resetting the toolkit's skin source.
#include <ostream>
#include <string>

#include "skinui/skin_file.h"

namespace SkinUI {
void PrintTo(SkinFileStatus status, std::ostream* out);  // readable test failures
}  // namespace SkinUI

namespace SkinTest {

std::wstring FixturePath(const std::wstring& name);  // below bin/skinui-fixtures
std::string ReadFixture(const std::wstring& name);  // whole file; fails the test when missing

// Plain files below `resourcePath` (no archive): the state every test starts from.
void UsePlainFiles(const std::wstring& resourcePath = L"");

}  // namespace SkinTest
