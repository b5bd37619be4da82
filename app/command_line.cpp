#include "app/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cwchar>
#include <cwctype>

CommandLineOptions CommandLineOptions::Parse(const std::wstring& commandLine) {
  CommandLineOptions options;
  if (commandLine.empty()) return options;  // CommandLineToArgvW would invent the exe path
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(commandLine.c_str(), &argc);
  if (!argv) return options;
  for (int i = 0; i < argc; ++i) {
    std::wstring arg = argv[i];
    std::wstring name = arg, value;
    const size_t eq = arg.find(L'=');
    if (!arg.empty() && arg[0] == L'-' && eq != std::wstring::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    if (!options.Find(name)) options.entries_.emplace_back(std::move(name), std::move(value));
  }
  LocalFree(argv);
  return options;
}

CommandLineOptions CommandLineOptions::FromProcess() { return Parse(GetCommandLineW()); }

const std::wstring* CommandLineOptions::Find(const std::wstring& name) const {
  for (const auto& e : entries_)
    if (e.first == name) return &e.second;
  return nullptr;
}

bool CommandLineOptions::Has(const std::wstring& name) const { return Find(name) != nullptr; }

std::wstring CommandLineOptions::GetOptionString(const std::wstring& name) const {
  const std::wstring* v = Find(name);
  return v ? *v : std::wstring();
}

int CommandLineOptions::GetOptionInt(const std::wstring& name) const {
  const std::wstring* v = Find(name);
  int out = 0;
  if (!v || ParseLeadingInt(*v, &out) != NumberParse::Ok) return 0;
  return out;
}

bool CommandLineOptions::GetOptionBool(const std::wstring& name) const {
  const std::wstring* v = Find(name);
  return v && *v == L"true";
}

double CommandLineOptions::GetOptionDouble(const std::wstring& name, double fallback) const {
  const std::wstring* v = Find(name);
  double out = 0;
  if (!v || ParseLeadingDouble(*v, &out) != NumberParse::Ok) return fallback;
  return out;
}

NumberParse ParseLeadingInt(const std::wstring& text, int* out) {
  const wchar_t* s = text.c_str();
  while (*s == L' ' || *s == L'\t') ++s;
  const wchar_t* digits = s + ((*s == L'+' || *s == L'-') ? 1 : 0);
  if (*digits < L'0' || *digits > L'9') return NumberParse::NotNumber;
  errno = 0;
  wchar_t* end = nullptr;
  const long long v = wcstoll(s, &end, 10);
  if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return NumberParse::OutOfRange;
  *out = static_cast<int>(v);
  return NumberParse::Ok;
}

NumberParse ParseLeadingDouble(const std::wstring& text, double* out) {
  const wchar_t* s = text.c_str();
  while (*s == L' ' || *s == L'\t') ++s;
  const wchar_t* p = s + ((*s == L'+' || *s == L'-') ? 1 : 0);
  // Only a decimal number counts: digits, or a point followed by a digit.
  const bool startsNumber = (*p >= L'0' && *p <= L'9') || (*p == L'.' && p[1] >= L'0' && p[1] <= L'9');
  if (!startsNumber) return NumberParse::NotNumber;
  errno = 0;
  wchar_t* end = nullptr;
  const double v = wcstod(s, &end);
  if (end == s) return NumberParse::NotNumber;
  if (errno == ERANGE && std::fabs(v) > 1.0) return NumberParse::OutOfRange;
  if (!std::isfinite(v)) return NumberParse::OutOfRange;
  *out = v;
  return NumberParse::Ok;
}
