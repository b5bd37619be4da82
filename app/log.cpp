#include "app/log.h"

#include <windows.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <new>

// The Microsoft CRT formatters are called by their underscore names on purpose:
// they keep "%s" meaning a wide string in wide formats whatever the MinGW stdio
// mode is.
extern "C" {
_CRTIMP int __cdecl _vscwprintf(const wchar_t* format, va_list args);
_CRTIMP int __cdecl _vsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list args);
}

namespace Log {
namespace {
std::atomic<Sink> g_sink{nullptr};

const wchar_t kPrefix[] = L"<P%05d><T%05d><%04d-%02d-%02d %02d:%02d:%02d.%03d>(%s)<%04d>: ";

int Measure(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = _vscwprintf(format, args);
  va_end(args);
  return n;
}

int Print(wchar_t* buffer, size_t count, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = _vsnwprintf(buffer, count, format, args);
  va_end(args);
  return n;
}
}  // namespace

std::wstring QualifiedName(const char* signature) {
  const std::string s = signature ? signature : "";
  // The name ends at the first '(' outside template brackets; the return type
  // ends at the last blank before it (outside brackets).
  int angle = 0;
  size_t open = std::string::npos, lastSpace = std::string::npos;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '<') ++angle;
    else if (c == '>' && angle > 0) --angle;
    else if (angle == 0 && c == ' ') lastSpace = i;
    else if (angle == 0 && c == '(') { open = i; break; }
  }
  std::string name = s.substr(lastSpace == std::string::npos ? 0 : lastSpace + 1);
  // Drop every parenthesised group (parameter lists, lambda signatures) and
  // trailing qualifiers.
  std::string out;
  int paren = 0;
  for (char c : name) {
    if (c == '(') { ++paren; continue; }
    if (c == ')') { if (paren > 0) --paren; continue; }
    if (paren == 0) out += c;
  }
  (void)open;
  for (const char* tail : {" const", " volatile", " noexcept"}) {
    const size_t len = std::char_traits<char>::length(tail);
    if (out.size() >= len && out.compare(out.size() - len, len, tail) == 0) out.erase(out.size() - len);
  }
  return std::wstring(out.begin(), out.end());
}

void SetSink(Sink sink) { g_sink.store(sink); }

void WriteV(const wchar_t* function, int line, const wchar_t* format, va_list args) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  const int pid = static_cast<int>(GetCurrentProcessId());
  const int tid = static_cast<int>(GetCurrentThreadId());
  const wchar_t* fn = function ? function : L"";

  const int prefixLen = Measure(kPrefix, pid, tid, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                                t.wSecond, t.wMilliseconds, fn, line);
  va_list measureArgs;
  va_copy(measureArgs, args);
  const int messageLen = _vscwprintf(format, measureArgs);
  va_end(measureArgs);
  if (prefixLen < 0 || messageLen < 0 || prefixLen > INT_MAX / 2 - 2 || messageLen > INT_MAX / 2 - 2) return;

  const size_t capacity = static_cast<size_t>(prefixLen) + static_cast<size_t>(messageLen) + 2;
  std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[capacity]);
  if (!buffer) return;
  Print(buffer.get(), capacity, kPrefix, pid, tid, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
        t.wMilliseconds, fn, line);
  const int written = _vsnwprintf(buffer.get() + prefixLen, capacity - prefixLen, format, args);
  if (written < 0) return;
  buffer[static_cast<size_t>(prefixLen) + written] = L'\0';

  OutputDebugStringW(buffer.get());
  if (Sink sink = g_sink.load()) sink(buffer.get(), static_cast<size_t>(prefixLen) + written);
}

void Write(const wchar_t* function, int line, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  WriteV(function, line, format, args);
  va_end(args);
}

}  // namespace Log

int FormatBoundedV(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args) {
  if (!buffer || capacity == 0) return -1;
  if (!format) {
    buffer[0] = L'\0';
    return -1;
  }
  const int n = _vsnwprintf(buffer, capacity, format, args);
  if (n < 0 || static_cast<size_t>(n) >= capacity) {
    buffer[0] = L'\0';
    return -1;
  }
  buffer[n] = L'\0';
  return n;
}

int FormatBounded(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = FormatBoundedV(buffer, capacity, format, args);
  va_end(args);
  return n;
}
