#include "tests/install/stand_in.h"

#include <gtest/gtest.h>

#include <chrono>

namespace StandInTest {

StandIn::StandIn(const std::wstring& program, const std::string& scenario, const std::wstring& subfolder) {
  folder_ = dir_.Path();
  if (!subfolder.empty()) {
    folder_ += L"\\" + subfolder;
    CreateDirectoryW(folder_.c_str(), nullptr);
  }
  path_ = folder_ + L"\\" + program + L".exe";
  TestSupport::CopyFileTo(TestSupport::BinDir() + L"\\" + program + L".exe", path_);
  TestSupport::WriteFileBytes(path_ + L".scenario", scenario);
}

std::map<std::wstring, std::wstring> StandIn::Record() const {
  std::map<std::wstring, std::wstring> out;
  std::string bytes;
  if (!TestSupport::ReadFileBytes(path_ + L".record", &bytes)) return out;
  const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find(L'\n', begin);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring line = text.substr(begin, end - begin);
    const size_t eq = line.find(L'=');
    if (eq != std::wstring::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
    begin = end + 1;
  }
  return out;
}

StandIn::~StandIn() {
  const auto record = Record();
  const auto pid = record.find(L"pid");
  if (pid == record.end()) return;
  Utils::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(pid->second)));
  if (process && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process.Get(), 77);
    WaitForSingleObject(process.Get(), 5000);
  }
}

NamedEvent::NamedEvent() {
  static LONG counter = 0;
  name_ = "stand_in_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(InterlockedIncrement(&counter));
  event_.Reset(CreateEventA(nullptr, TRUE, FALSE, name_.c_str()));
}

StageCallback Reports::Callback() {
  return [this](int32_t code, double value, const wchar_t* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back({code, value, text ? text : L"(null)"});
    changed_.notify_all();
  };
}

bool Reports::WaitCount(int32_t code, size_t count, DWORD ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
    size_t n = 0;
    for (const auto& r : reports_) n += r.code == code;
    return n >= count;
  });
}

std::vector<Report> Reports::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reports_;
}

std::vector<int32_t> Reports::Codes() const {
  std::vector<int32_t> out;
  for (const auto& r : All()) out.push_back(r.code);
  return out;
}

size_t Reports::Count(int32_t code) const {
  size_t n = 0;
  for (const auto& r : All()) n += r.code == code;
  return n;
}

Report Reports::First(int32_t code) const {
  for (const auto& r : All())
    if (r.code == code) return r;
  return {};
}

// Wine's GetProcessHandleCount answers 0; the system-wide handle table
// (SystemHandleInformation) lists every handle with its owner.
DWORD HandleCount() {
  struct Entry {
    ULONG ownerPid;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
  };
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return 0;
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ULONG needed = 0;
    const LONG status = query(16 /* SystemHandleInformation */, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<LONG>(0xC0000004) /* STATUS_INFO_LENGTH_MISMATCH */) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status < 0) return 0;
    break;
  }
  const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
  const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
  DWORD own = 0;
  for (ULONG i = 0; i < count; ++i) own += entries[i].ownerPid == GetCurrentProcessId();
  return own;
}

void ExpectReports(const std::vector<Report>& expected, const std::vector<Report>& actual, const std::string& name) {
  ASSERT_EQ(expected.size(), actual.size()) << name;
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].code, actual[i].code) << name << " #" << i;
    EXPECT_DOUBLE_EQ(expected[i].value, actual[i].value) << name << " #" << i;
    EXPECT_EQ(expected[i].text, actual[i].text) << name << " #" << i;
  }
}

}  // namespace StandInTest
