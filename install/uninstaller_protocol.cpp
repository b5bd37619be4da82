// The uninstaller's console lines, tried in this order. Every other key,
// the package's included, is ignored.
#include "install/console_protocol.h"
#include "install/uninstaller.h"

using namespace ConsoleProtocol;

int UnInstaller::Parse(const std::wstring& chunk) {
  int result = kNoFinalState;
  for (const std::wstring& line : SplitLines(chunk)) {
    std::wstring rest;
    if (MatchKey(line, L"Progress=", &rest)) {
      Report(UNIST_CODE_PROGRESS, ReadReal(rest));
    } else if (MatchKey(line, L"Error=", &rest)) {
      Report(UNIST_CODE_ERROR, 0.0, ReadText(rest).c_str());
      result = kFailed;
    } else if (MatchKey(line, L"State=", &rest)) {
      const std::wstring word = ReadWord(rest);
      if (word == L"Success") {
        Report(UNIST_CODE_SUCCESS, 0.0);
        result = kSucceeded;
      } else if (word == L"Fail") {
        Report(UNIST_CODE_ERROR, 0.0, kMsgUninstallFailed);
        result = kFailed;
      }
    } else if (MatchKey(line, L"Encode=", &rest)) {
      codePage_ = UninstallerCodePage(ReadWord(rest));
    }
  }
  return result;
}
