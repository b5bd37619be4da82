#pragma once
// Removes the installed older version by running its own uninstaller (a copy
// in the installer's working folder) silently, on a worker thread of its own:
//
//   5004 value 1.0 when the copy does not exist; 5002 0.0; start it hidden
//   (5004 value 2.0 when it cannot be started); read and parse its output
//   until it has ended, final states included; 5003 value 1.0 when it never
//   reported a failure.
//
// Every report goes synchronously through the callback on the worker thread.
#include <memory>
#include <string>

#include "install/child_process.h"
#include "install/stage.h"
#include "utils/thread.h"

class UnInstaller {
 public:
  // `uninstallerPath` is the full path of the copy to run, `oldInstallFolder`
  // the folder the old version lies in (handed over as "_?=").
  UnInstaller(StageCallback callback, std::wstring uninstallerPath, std::wstring oldInstallFolder);
  // Waits for the worker thread.
  ~UnInstaller();
  UnInstaller(const UnInstaller&) = delete;
  UnInstaller& operator=(const UnInstaller&) = delete;

  // Builds the command line and starts the run; returns once its thread is
  // going. An earlier run's thread is waited for first.
  void Start();

  // "<path> /S -adminact=<console user is admin> -authorizationact=<process
  // is admin> -console=show _?=<old folder>", the flags asked of the system
  // now, neither path quoted (the uninstaller reads "_?=" up to the end of the line).
  std::wstring BuildCommandLine() const;
  const std::wstring& CommandLine() const { return commandLine_; }

  // Parses one chunk of the uninstaller's output (four keys); returns the
  // chunk's run result (ConsoleProtocol::RunResult).
  int Parse(const std::wstring& chunk);

  int CodePage() const { return codePage_; }

 private:
  void Run();
  void Report(int32_t code, double value, const wchar_t* text = L"");

  StageCallback callback_;
  std::wstring commandLine_;
  std::wstring uninstallerPath_;
  std::wstring oldInstallFolder_;
  int codePage_ = 0;
  std::unique_ptr<ChildProcess> child_;
  std::unique_ptr<Utils::Thread> thread_;  // last: ended before anything it uses goes
};
