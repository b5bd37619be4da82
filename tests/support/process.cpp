#include "tests/support/process.h"

#include <rpc.h>

#include "utils/handle.h"

namespace TestSupport {

std::wstring BinDir() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s = path;
  return s.substr(0, s.find_last_of(L"\\/"));
}

DWORD RunAndWait(const std::wstring& commandLine, DWORD timeoutMs, const wchar_t* workingDir) {
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  std::wstring cmd = commandLine;
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, workingDir, &si, &pi))
    return 0xFFFFFFF0;
  Utils::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  if (WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.Get(), 1);
    WaitForSingleObject(process.Get(), 5000);
    return 0xFFFFFFF1;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.Get(), &code);
  return code;
}

TempDir::TempDir() {
  wchar_t tmp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, tmp);
  static LONG counter = 0;
  path_ = std::wstring(tmp) + L"pmtest_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
          std::to_wstring(InterlockedIncrement(&counter)) + L"_" + std::to_wstring(GetTickCount());
  CreateDirectoryW(path_.c_str(), nullptr);
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryW(path.c_str());
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  Utils::UniqueFile f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!f) return false;
  DWORD written = 0;
  return WriteFile(f.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool ReadFileBytes(const std::wstring& path, std::string* bytes) {
  Utils::UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return false;
  bytes->clear();
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(f.Get(), buf, sizeof(buf), &got, nullptr) && got > 0) bytes->append(buf, got);
  return true;
}

bool CopyFileTo(const std::wstring& from, const std::wstring& to) { return CopyFileW(from.c_str(), to.c_str(), FALSE); }

std::wstring Quote(const std::wstring& s) { return L"\"" + s + L"\""; }

}  // namespace TestSupport
