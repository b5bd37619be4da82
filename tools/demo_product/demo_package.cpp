// The demo product package: a silent console installer that speaks the
// installer's console protocol. It installs parlomind.exe and its uninstaller
// (saved as uninst.ep), both carried as resources, into the folder of "/D=".
//
// Extra words for tests and the demo (passed through the installer's extra
// package arguments): -demo-fail (reports State=Fail), -demo-error=<text>
// (reports Error=), -demo-sleep=<ms> (waits before finishing).
#include <windows.h>

#include <string>

#include "demo_console.h"

namespace {
bool ExtractResource(int id, const std::wstring& path) {
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!res) return false;
  HGLOBAL data = LoadResource(nullptr, res);
  const DWORD size = SizeofResource(nullptr, res);
  const void* bytes = data ? LockResource(data) : nullptr;
  if (!bytes) return false;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(f, bytes, size, &written, nullptr) && written == size;
  CloseHandle(f);
  return ok;
}

bool CreateTree(const std::wstring& path) {
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == L'\\') {
      const std::wstring part = path.substr(0, i);
      if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
  }
  return true;
}
}  // namespace

int wmain() {
  const std::wstring cmd = GetCommandLineW();
  Demo::Say(L"Encode=UTF8");
  Demo::Say(L"InstallVersion=1.0.0");
  Demo::Say(L"Progress=0.05");

  if (Demo::HasWord(cmd, L"-demo-fail")) {
    Demo::Say(L"State=Fail");
    return 1;
  }
  const std::wstring error = Demo::Option(cmd, L"-demo-error=");
  if (!error.empty()) {
    Demo::Say(L"Error=" + error);
    return 1;
  }

  std::wstring folder = Demo::Option(cmd, L"/D=");
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L' ')) folder.pop_back();
  if (folder.empty() || !CreateTree(folder)) {
    Demo::Say(L"Error=无法创建安装目录");
    return 2;
  }
  Demo::Say(L"Progress=0.3");
  const std::wstring exe = folder + L"\\parlomind.exe";
  const std::wstring uninstaller = folder + L"\\uninst.ep";
  if (!ExtractResource(101, exe) || !ExtractResource(102, uninstaller)) {
    Demo::Say(L"Error=写入文件失败");
    return 3;
  }
  Demo::Say(L"Progress=0.8");

  const std::wstring sleep = Demo::Option(cmd, L"-demo-sleep=");
  if (!sleep.empty()) Sleep(static_cast<DWORD>(_wtoi(sleep.c_str())));

  // What the installer records and shows afterwards.
  Demo::Say(L"InstPath=" + folder);
  Demo::Say(L"ExePath=" + exe);
  Demo::Say(L"UninstExePath=" + uninstaller);
  Demo::Say(L"UninstEp=" + uninstaller);
  Demo::Say(L"StartupStyle=NonStartup");
  Demo::Say(L"Progress=1");
  Demo::Say(L"State=Success");
  return 0;
}
