#pragma once
// Runs the downloaded product package silently and follows it to its end
// through the console protocol, on a worker thread of its own:
//
//   report 2001, 2002 0.0; start the package hidden (2004 value 2.0 when it
//   cannot be started); read and parse its output until it reports a final
//   state, or until it has ended (then one more read, and 2003 value 1.0).
//
// Every report goes synchronously through the callback on the worker thread.
// A package that ends without a final state counts as successful; its exit
// code is not examined.
#include <memory>
#include <string>

#include "install/child_process.h"
#include "install/stage.h"
#include "utils/thread.h"

struct PackageVersion {
  int major = 0;
  int minor = 0;
  int build = 0;
};

struct InstallerOptions {
  std::wstring installFolder;     // empty: the package chooses (no -instdir, no /D)
  bool desktopShortcut = false;   // -dsc=
  bool quickLaunchShortcut = false;  // -ssc=
  bool consoleUserAdmin = false;  // -adminact=: the console user's account is an administrator
  bool processAdmin = true;       // -authorizationact=: this process runs with administrator rights
  std::wstring language;          // -inslang=, left out when empty
};

class CInstaller {
 public:
  CInstaller(StageCallback callback, std::wstring quotedPackagePath, std::wstring installFolder,
             bool desktopShortcut, bool quickLaunchShortcut, bool consoleUserAdmin);
  // Waits for the worker thread of the last run.
  ~CInstaller();
  CInstaller(const CInstaller&) = delete;
  CInstaller& operator=(const CInstaller&) = delete;

  // The owner sets the folder, all four flags and the language before every
  // Start. Not to be called while a run is going.
  void SetOptions(const InstallerOptions& options);
  const InstallerOptions& Options() const { return options_; }

  // Waits for an earlier run's thread, builds the command line and starts a
  // new run; returns once the run's thread is going.
  void Start();

  // The package's command line as Start builds it: the quoted package path,
  // " /S -console=show -version=1.0.0", " -adminact=", " -authorizationact=",
  // " -dsc=", " -ssc=" (each "true" or "false"), then " -inslang=\"...\""
  // with a language, the settings' extra package arguments after a blank,
  // and with an install folder " -instdir=\"...\"" and last " /D=" with the
  // folder unquoted.
  std::wstring BuildCommandLine() const;
  const std::wstring& CommandLine() const { return commandLine_; }

  // Parses one chunk of the package's output (sixteen keys) and reports what
  // it finds; returns the chunk's run result (ConsoleProtocol::RunResult).
  int Parse(const std::wstring& chunk);

  // Code page of the package's output; set by "Encode=" and kept for later runs.
  int CodePage() const { return codePage_; }
  const PackageVersion& Version() const { return version_; }

 private:
  void Run();
  void Report(int32_t code, double value, const wchar_t* text = L"");

  StageCallback callback_;
  std::wstring quotedPackagePath_;
  std::wstring commandLine_;
  InstallerOptions options_;
  int codePage_ = 0;
  PackageVersion version_;
  std::unique_ptr<ChildProcess> child_;
  std::unique_ptr<Utils::Thread> thread_;  // last: ended before anything it uses goes
};
