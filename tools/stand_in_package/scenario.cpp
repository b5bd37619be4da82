#include "tools/stand_in_package/scenario.h"

#include <windows.h>

#include <cctype>
#include <sstream>

#include "utils/handle.h"

namespace StandIn {
namespace {

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

const wchar_t* TypeName(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return L"none";
  switch (GetFileType(h)) {
    case FILE_TYPE_PIPE: return L"pipe";
    case FILE_TYPE_CHAR: return L"char";
    case FILE_TYPE_DISK: return L"disk";
    default: return L"unknown";
  }
}

void WriteRecord(const std::wstring& path) {
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  GetStartupInfoW(&si);
  wchar_t flags[16] = {};
  wsprintfW(flags, L"%lx", si.dwFlags);
  std::wstring text;
  text += L"cmdline=" + std::wstring(GetCommandLineW()) + L"\n";
  text += L"flags=" + std::wstring(flags) + L"\n";
  text += L"show=" + std::to_wstring(si.wShowWindow) + L"\n";
  text += L"stdin=" + std::wstring(TypeName(GetStdHandle(STD_INPUT_HANDLE))) + L"\n";
  text += L"stdout=" + std::wstring(TypeName(GetStdHandle(STD_OUTPUT_HANDLE))) + L"\n";
  text += L"stderr=" + std::wstring(TypeName(GetStdHandle(STD_ERROR_HANDLE))) + L"\n";
  text += L"pid=" + std::to_wstring(GetCurrentProcessId()) + L"\n";
  Utils::UniqueFile f(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  if (f) WriteFile(f.Get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
}

void WriteAll(HANDLE h, const std::string& bytes) {
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Wide(const std::string& s) {
  std::wstring w(s.size(), L'\0');
  for (size_t i = 0; i < s.size(); ++i) w[i] = static_cast<unsigned char>(s[i]);
  return w;
}

std::string ReadScenario(const std::wstring& path) {
  std::string text;
  Utils::UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(f.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
  return text;
}

}  // namespace

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    switch (c) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '0': out += '\0'; break;
      case 'x':
        if (i + 2 < text.size() && isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            isxdigit(static_cast<unsigned char>(text[i + 2]))) {
          out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
          i += 2;
        }
        break;
      default: out += c; break;
    }
  }
  return out;
}

int RunScenario() {
  const std::wstring self = OwnPath();
  WriteRecord(self + L".record");

  std::istringstream file(ReadScenario(self + L".scenario"));
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream in(line);
    std::string command;
    in >> command;
    std::string rest;
    std::getline(in >> std::ws, rest);
    if (command == "write") {
      WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), Unescape(rest));
    } else if (command == "repeat") {
      std::istringstream args(rest);
      size_t count = 0;
      args >> count;
      std::string piece;
      std::getline(args >> std::ws, piece);
      const std::string unit = Unescape(piece);
      std::string all;
      for (size_t n = 0; n < count; ++n) all += unit;
      WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), all);
    } else if (command == "stderr") {
      size_t remaining = std::stoul(rest);
      const std::string block(4096, 'e');
      while (remaining > 0) {
        const size_t n = remaining < block.size() ? remaining : block.size();
        WriteAll(GetStdHandle(STD_ERROR_HANDLE), block.substr(0, n));
        remaining -= n;
      }
    } else if (command == "sleep") {
      Sleep(std::stoul(rest));
    } else if (command == "wait") {
      Utils::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, Wide(rest).c_str()));
      if (!event || WaitForSingleObject(event.Get(), 30000) != WAIT_OBJECT_0) return 99;
    } else if (command == "signal") {
      Utils::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, Wide(rest).c_str()));
      if (event) SetEvent(event.Get());
    } else if (command == "close-stdout") {
      CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
      SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    } else if (command == "crash") {
      TerminateProcess(GetCurrentProcess(), 0xC0000005);
    } else if (command == "exit") {
      return static_cast<int>(std::stoul(rest));
    }
  }
  return 0;
}

}  // namespace StandIn
