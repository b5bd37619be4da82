#pragma once
// Runs a program as a debuggee and collects what a debugger sees of it: its
// debug output strings, the thread names it announces and its exit code. This
// is how tests read the log channel of a real process.
#include <windows.h>

#include <string>
#include <vector>

namespace TestSupport {

struct DebugString {
  DWORD threadId = 0;
  std::wstring text;
};

struct ThreadName {
  DWORD threadId = 0;  // the id given in the naming record
  std::string name;
};

struct DebugRun {
  bool started = false;
  bool timedOut = false;
  DWORD processId = 0;
  DWORD exitCode = 0;
  std::vector<DebugString> strings;
  std::vector<ThreadName> threadNames;
  std::vector<DWORD> threadsCreated;  // the main thread first
};

// `commandLine` is passed to CreateProcessW as it stands (quote the program).
DebugRun RunUnderDebugger(const std::wstring& commandLine, DWORD timeoutMs = 30000,
                          const wchar_t* workingDir = nullptr);

}  // namespace TestSupport
