// The demo product's uninstaller (installed as uninst.ep). Started as
// "<self> /S -adminact=.. -authorizationact=.. -console=show _?=<folder>", it
// removes the product's files and the folder named by "_?=" and reports
// through the console protocol.
#include <windows.h>

#include <string>

#include "demo_console.h"

int wmain() {
  const std::wstring cmd = GetCommandLineW();
  Demo::Say(L"Encode=UTF8");
  const size_t at = cmd.find(L" _?=");
  if (at == std::wstring::npos) {
    Demo::Say(L"Error=缺少安装目录");
    return 2;
  }
  std::wstring folder = cmd.substr(at + 4);
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L' ')) folder.pop_back();
  Demo::Say(L"Progress=0.2");
  for (const wchar_t* name : {L"parlomind.exe", L"uninst.ep", L"set.ini"}) {
    const std::wstring file = folder + L"\\" + name;
    if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES && !DeleteFileW(file.c_str())) {
      Demo::Say(L"Error=无法删除 " + file);
      return 3;
    }
  }
  RemoveDirectoryW(folder.c_str());  // stays when the user left files of their own
  Demo::Say(L"Progress=1");
  Demo::Say(L"State=Success");
  return 0;
}
