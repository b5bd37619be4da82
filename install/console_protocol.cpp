#include "install/console_protocol.h"

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdint>
#include <cwchar>

#include "app/log.h"
#include "utils/text.h"

namespace ConsoleProtocol {

std::vector<std::wstring> SplitLines(const std::wstring& chunk) {
  std::vector<std::wstring> lines;
  size_t begin = 0;
  while (begin < chunk.size()) {
    const size_t end = chunk.find(L'\n', begin);
    if (end == std::wstring::npos) {
      lines.push_back(chunk.substr(begin));
      break;
    }
    lines.push_back(chunk.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

bool MatchKey(const std::wstring& line, const wchar_t* key, std::wstring* rest) {
  const size_t length = wcslen(key);
  if (line.compare(0, length, key) != 0) return false;
  *rest = line.substr(length);
  return true;
}

double ReadReal(const std::wstring& rest) {
  double value = 0.0;
  if (swscanf(rest.c_str(), L"%lf", &value) != 1) return 0.0;
  return value;
}

int ReadInteger(const std::wstring& rest) {
  int value = 0;
  if (swscanf(rest.c_str(), L"%d", &value) != 1) return 0;
  return value;
}

std::wstring ReadText(const std::wstring& rest) { return rest.substr(0, kMaxTextLength); }

std::wstring ReadWord(const std::wstring& rest) { return Utils::Trim(ReadText(rest)); }

double UnsignedValue(int value) { return static_cast<double>(static_cast<uint32_t>(value)); }

int PackageCodePage(const std::wstring& word) {
  if (word == L"UTF8") return 65001;
  if (word == L"ACP") return 0;
  const wchar_t* begin = word.c_str();
  wchar_t* end = nullptr;
  errno = 0;
  const long number = wcstol(begin, &end, 10);
  if (end == begin || errno == ERANGE || number < INT_MIN || number > INT_MAX) return 0;
  const int codePage = static_cast<int>(number);
  if (codePage != 0 && !IsValidCodePage(static_cast<UINT>(codePage))) {
    WriteLog(L"code page %d is not available, the active code page is used\r\n", codePage);
    return 0;
  }
  return codePage;
}

int UninstallerCodePage(const std::wstring& word) { return word == L"UTF8" ? 65001 : 0; }

}  // namespace ConsoleProtocol
