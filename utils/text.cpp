#include "utils/text.h"

#include <windows.h>

#include <climits>

namespace Utils {

std::wstring ToWide(const char* text, size_t length, unsigned codePage) {
  if (length == 0 || length > INT_MAX) return {};
  const int n = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  if (MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), out.data(), n) != n) return {};
  return out;
}

std::wstring ToWide(const std::string& text, unsigned codePage) {
  return ToWide(text.data(), text.size(), codePage);
}

std::string ToNarrow(const std::wstring& text, unsigned codePage) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int len = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(codePage, 0, text.data(), len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  if (WideCharToMultiByte(codePage, 0, text.data(), len, out.data(), n, nullptr, nullptr) != n) return {};
  return out;
}

namespace {
template <class Ch>
bool IsTrimSpace(Ch c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

template <class S>
S TrimImpl(const S& s, bool left, bool right) {
  size_t b = 0, e = s.size();
  if (left)
    while (b < e && IsTrimSpace(s[b])) ++b;
  if (right)
    while (e > b && IsTrimSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}
}  // namespace

std::wstring TrimLeft(const std::wstring& text) { return TrimImpl(text, true, false); }
std::wstring TrimRight(const std::wstring& text) { return TrimImpl(text, false, true); }
std::wstring Trim(const std::wstring& text) { return TrimImpl(text, true, true); }
std::string Trim(const std::string& text) { return TrimImpl(text, true, true); }

}  // namespace Utils
