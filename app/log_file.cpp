#include "app/log_file.h"

#include <windows.h>

#include <mutex>

#include "app/log.h"
#include "utils/handle.h"
#include "utils/text.h"

namespace {
Utils::UniqueFile g_file;
std::mutex g_lock;  // one line at a time: lines of different threads stay whole

void WriteToFile(const wchar_t* line, size_t length) {
  const std::string utf8 = Utils::ToNarrow(std::wstring(line, length), Utils::kUtf8CodePage);
  if (utf8.empty()) return;
  std::lock_guard<std::mutex> guard(g_lock);
  if (!g_file) return;
  DWORD written = 0;
  WriteFile(g_file.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}
}  // namespace

bool OpenLogFile(const std::wstring& path) {
  Utils::UniqueFile f(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) {
    WriteLog(L"cannot open log file %s, error %lu\r\n", path.c_str(), GetLastError());
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(g_lock);
    g_file = std::move(f);
  }
  Log::SetSink(WriteToFile);
  return true;
}

void CloseLogFile() {
  Log::SetSink(nullptr);
  std::lock_guard<std::mutex> guard(g_lock);
  g_file.Reset();
}
