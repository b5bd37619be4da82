#pragma once
// Shared by the demo package and the demo uninstaller: console protocol
// output and the few command-line readings they need.
#include <windows.h>

#include <string>

namespace Demo {

// Writes one protocol line ("Key=value\r\n") as UTF-8 to standard output.
inline void Say(const std::wstring& line) {
  const std::wstring text = line + L"\r\n";
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string utf8(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), n, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

// The value of "name" in the raw command line: for "/D=" everything up to
// the end (it is always last and unquoted); otherwise a quoted value or the
// text up to the next blank.
inline std::wstring Option(const std::wstring& commandLine, const std::wstring& name) {
  const size_t at = commandLine.find(L" " + name);
  if (at == std::wstring::npos) return {};
  size_t v = at + 1 + name.size();
  if (name == L"/D=") return commandLine.substr(v);
  if (v < commandLine.size() && commandLine[v] == L'"') {
    const size_t end = commandLine.find(L'"', v + 1);
    return commandLine.substr(v + 1, end == std::wstring::npos ? std::wstring::npos : end - v - 1);
  }
  const size_t end = commandLine.find(L' ', v);
  return commandLine.substr(v, end == std::wstring::npos ? std::wstring::npos : end - v);
}

inline bool HasWord(const std::wstring& commandLine, const std::wstring& word) {
  return (commandLine + L" ").find(L" " + word + L" ") != std::wstring::npos;
}

}  // namespace Demo
