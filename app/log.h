#pragma once
// Diagnostic lines for a developer watching the debugger output.
//
//   WriteLog(L"DL_TYPE=%d\r\n", type);
//
// emits "<P%05d><T%05d><yyyy-mm-dd hh:mm:ss.mmm>(Qualified::Name)<%04d>: " and the
// message through OutputDebugStringW. The message is a format (a literal "%"
// must be written "%%"); its own line end, if any, is all the line gets.
// Formats follow the Microsoft conventions: "%s" takes a wide string.
#include <cstdarg>
#include <cstddef>
#include <string>

namespace Log {

// Reduces a compiler function signature ("void CurlClient::Head(const char*)")
// to its qualified name ("CurlClient::Head"); a lambda inside Start() gives
// "CDownloadInstaller::Start::<lambda>".
std::wstring QualifiedName(const char* signature);

// Emits one line; never fails visibly (an allocation failure drops the line).
void Write(const wchar_t* function, int line, const wchar_t* format, ...);
void WriteV(const wchar_t* function, int line, const wchar_t* format, va_list args);

// An extra destination for every line besides the debugger channel (for
// example a log file); called with the finished line. Null removes it.
using Sink = void (*)(const wchar_t* line, size_t length);
void SetSink(Sink sink);

}  // namespace Log

#define WriteLog(format, ...) \
  ::Log::Write(::Log::QualifiedName(__PRETTY_FUNCTION__).c_str(), __LINE__, format, ##__VA_ARGS__)

// Formats into buffer[capacity] (capacity counts the terminator). Returns the
// characters written, or -1 with an empty buffer when the text does not fit or
// the format fails.
int FormatBounded(wchar_t* buffer, size_t capacity, const wchar_t* format, ...);
int FormatBoundedV(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args);
