#pragma once
// Conversions between UTF-16 and narrow text, and white-space trimming.
// Narrow text is used only at the edges: libcurl (UTF-8 URLs, active-code-page
// paths), the C runtime and child-process output.
#include <string>

namespace Utils {

constexpr unsigned kActiveCodePage = 0;  // CP_ACP
constexpr unsigned kUtf8CodePage = 65001;

// Empty text when the conversion fails (unknown code page, invalid input for a
// strict code page); no flags are passed, so invalid sequences are replaced.
std::wstring ToWide(const std::string& text, unsigned codePage);
std::wstring ToWide(const char* text, size_t length, unsigned codePage);
std::string ToNarrow(const std::wstring& text, unsigned codePage);

// Space, tab, CR, LF, VT and FF.
std::wstring TrimLeft(const std::wstring& text);
std::wstring TrimRight(const std::wstring& text);
std::wstring Trim(const std::wstring& text);
std::string Trim(const std::string& text);

}  // namespace Utils
