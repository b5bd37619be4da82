// The package's console lines, tried in this order; the first key that
// begins the line wins.
#include <cstdio>

#include "app/log.h"
#include "install/console_protocol.h"
#include "install/installer.h"

using namespace ConsoleProtocol;

namespace {
int StartupStyle(const std::wstring& word) {
  if (word == L"AutoStartup") return 1;
  if (word == L"UserStartup") return 2;
  return 0;  // "NonStartup" and every unknown word
}
}  // namespace

int CInstaller::Parse(const std::wstring& chunk) {
  int result = kNoFinalState;
  for (const std::wstring& line : SplitLines(chunk)) {
    std::wstring rest;
    if (MatchKey(line, L"Progress=", &rest)) {
      Report(IST_CODE_PROGRESS, ReadReal(rest));
    } else if (MatchKey(line, L"InstPath=", &rest)) {
      Report(IST_INFO_INST_PATH, 0.0, ReadText(rest).c_str());
    } else if (MatchKey(line, L"State=", &rest)) {
      const std::wstring word = ReadWord(rest);
      if (word == L"Success") {
        Report(IST_CODE_SUCCESS, 0.0);
        result = kSucceeded;
      } else if (word == L"Fail") {
        Report(IST_CODE_FAIL, 0.0, kMsgPackageFailed);
        result = kFailed;
      }
    } else if (MatchKey(line, L"InstallVersion=", &rest)) {
      // A part that cannot be read keeps its earlier value.
      swscanf(rest.c_str(), L"%d.%d.%d", &version_.major, &version_.minor, &version_.build);
    } else if (MatchKey(line, L"ExePath=", &rest)) {
      const std::wstring path = ReadText(rest);
      WriteLog(L"ExePath: %s", path.c_str());
      Report(IST_INFO_EXE_PATH, 0.0, path.c_str());
    } else if (MatchKey(line, L"StartExe=", &rest)) {
      Report(IST_INFO_EXE_PATH, 0.0, ReadText(rest).c_str());
    } else if (MatchKey(line, L"UninstExePath=", &rest)) {
      Report(IST_INFO_UNINST_EXE, 0.0, ReadText(rest).c_str());
    } else if (MatchKey(line, L"UninstExe=", &rest)) {
      Report(IST_INFO_UNINST_EXE, 0.0, ReadText(rest).c_str());
    } else if (MatchKey(line, L"UninstEp=", &rest)) {
      Report(IST_INFO_UNINST_EP, 0.0, ReadText(rest).c_str());
    } else if (MatchKey(line, L"Error=", &rest)) {
      Report(IST_CODE_FAIL, 1000.0, ReadText(rest).c_str());
      result = kFailed;
    } else if (MatchKey(line, L"TopShowDetention=", &rest)) {
      Report(IST_INFO_TOP_SHOW_DETENTION, UnsignedValue(ReadInteger(rest)));
    } else if (MatchKey(line, L"FinsihCloseDetention=", &rest)) {  // the protocol's own spelling
      Report(IST_INFO_FINISH_CLOSE_DETENTION, UnsignedValue(ReadInteger(rest)));
    } else if (MatchKey(line, L"StartUrl=", &rest)) {
      Report(IST_INFO_START_URL, 0.0, ReadText(rest).c_str());
    } else if (MatchKey(line, L"StartupStyle=", &rest)) {
      Report(IST_INFO_STARTUP_STYLE, StartupStyle(ReadWord(rest)));
    } else if (MatchKey(line, L"Encode=", &rest)) {
      codePage_ = PackageCodePage(ReadWord(rest));
    } else if (MatchKey(line, L"Message=", &rest)) {
      Report(IST_INFO_MESSAGE, 0.0, ReadText(rest).c_str());
    }
  }
  return result;
}
