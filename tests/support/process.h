#pragma once
// Small helpers for tests that start real programs and work with files.
#include <windows.h>

#include <string>

namespace TestSupport {

// Folder of the running test program (where every built program lands).
std::wstring BinDir();
// Starts `commandLine` and waits; returns the exit code, or 0xFFFFFFF0 when it
// could not start and 0xFFFFFFF1 on time-out (the process is then killed).
DWORD RunAndWait(const std::wstring& commandLine, DWORD timeoutMs = 30000, const wchar_t* workingDir = nullptr);

// A fresh folder under the temporary folder, removed with everything in it on
// destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& Path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool ReadFileBytes(const std::wstring& path, std::string* bytes);
bool CopyFileTo(const std::wstring& from, const std::wstring& to);
void RemoveTree(const std::wstring& path);
std::wstring Quote(const std::wstring& s);

}  // namespace TestSupport
