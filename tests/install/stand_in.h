#pragma once
// Test side of the stand-in package and uninstaller: a private copy of the
// program with its scenario beside it, the record it leaves, and the reports
// a runner makes while it runs.
#include <windows.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "install/stage.h"
#include "tests/support/process.h"
#include "utils/handle.h"

namespace StandInTest {

// A copy of tools/<program>.exe in a fresh folder (under `subfolder` when
// given, which may hold blanks), scripted by `scenario` (see the tool's
// scenario.h). A copy still running when the object goes is ended.
class StandIn {
 public:
  StandIn(const std::wstring& program, const std::string& scenario, const std::wstring& subfolder = L"");
  ~StandIn();

  const std::wstring& Path() const { return path_; }
  const std::wstring& Folder() const { return folder_; }
  // The "key=value" lines the copy wrote when it started; empty when it
  // has not run.
  std::map<std::wstring, std::wstring> Record() const;

 private:
  TestSupport::TempDir dir_;
  std::wstring folder_;
  std::wstring path_;
};

// A named manual-reset event a scenario can wait for ("wait <Name()>") or set.
class NamedEvent {
 public:
  NamedEvent();
  const std::string& Name() const { return name_; }
  void Set() const { SetEvent(event_.Get()); }
  bool WaitSet(DWORD ms) const { return WaitForSingleObject(event_.Get(), ms) == WAIT_OBJECT_0; }

 private:
  std::string name_;
  Utils::UniqueHandle event_;
};

struct Report {
  int32_t code = 0;
  double value = 0.0;
  std::wstring text;
};

// Collects reports from any thread.
class Reports {
 public:
  StageCallback Callback();
  // Waits until a report with `code` has come (true) or `ms` have passed.
  bool WaitFor(int32_t code, DWORD ms = 20000) { return WaitCount(code, 1, ms); }
  // Waits until `count` reports with `code` have come.
  bool WaitCount(int32_t code, size_t count, DWORD ms = 20000);
  std::vector<Report> All() const;
  std::vector<int32_t> Codes() const;
  size_t Count(int32_t code) const;
  // The first report with `code`; a report of code 0 when there is none.
  Report First(int32_t code) const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Report> reports_;
};

// Open handles of this process.
DWORD HandleCount();

// Expects the reports to match one by one: code, value and text.
void ExpectReports(const std::vector<Report>& expected, const std::vector<Report>& actual, const std::string& name);

}  // namespace StandInTest
