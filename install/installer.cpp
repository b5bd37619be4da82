#include "install/installer.h"

#include <exception>

#include "app/log.h"
#include "app/settings.h"
#include "install/console_protocol.h"

namespace {
const wchar_t* Flag(bool on) { return on ? L"true" : L"false"; }
constexpr DWORD kExitCheckPauseMs = 100;
}  // namespace

CInstaller::CInstaller(StageCallback callback, std::wstring quotedPackagePath, std::wstring installFolder,
                       bool desktopShortcut, bool quickLaunchShortcut, bool consoleUserAdmin)
    : callback_(std::move(callback)), quotedPackagePath_(std::move(quotedPackagePath)) {
  options_.installFolder = std::move(installFolder);
  options_.desktopShortcut = desktopShortcut;
  options_.quickLaunchShortcut = quickLaunchShortcut;
  options_.consoleUserAdmin = consoleUserAdmin;
}

CInstaller::~CInstaller() { thread_.reset(); }

void CInstaller::SetOptions(const InstallerOptions& options) { options_ = options; }

std::wstring CInstaller::BuildCommandLine() const {
  std::wstring line = quotedPackagePath_;
  line += L" /S -console=show -version=1.0.0";
  line += L" -adminact=";
  line += Flag(options_.consoleUserAdmin);
  line += L" -authorizationact=";
  line += Flag(options_.processAdmin);
  line += L" -dsc=";
  line += Flag(options_.desktopShortcut);
  line += L" -ssc=";
  line += Flag(options_.quickLaunchShortcut);
  if (!options_.language.empty()) line += L" -inslang=\"" + options_.language + L"\"";
  if (!g_settings.instCmd.empty()) line += L" " + g_settings.instCmd;
  if (!options_.installFolder.empty()) {
    line += L" -instdir=\"" + options_.installFolder + L"\"";
    line += L" /D=" + options_.installFolder;  // the package's installer reads /D= unquoted, and only as the last word
  }
  return line;
}

void CInstaller::Start() {
  // The earlier run reads the command line and the child; it has to be over
  // before either is touched.
  thread_.reset();
  commandLine_ = BuildCommandLine();
  thread_ = Utils::Thread::Launch(this, L"ABDEF", [](void* self) -> unsigned {
    static_cast<CInstaller*>(self)->Run();
    return 0;
  });
}

void CInstaller::Report(int32_t code, double value, const wchar_t* text) {
  if (callback_) callback_(code, value, text);
}

void CInstaller::Run() {
  Report(IST_CODE_START, 0.0);
  Report(IST_CODE_PROGRESS, 0.0);

  child_.reset();
  try {
    child_ = std::make_unique<ChildProcess>();
    child_->Launch(commandLine_);
  } catch (const std::exception&) {
    child_.reset();
    Report(IST_CODE_FAIL, 2.0);
    return;
  }

  bool exited = false;
  bool succeeded = false;
  for (;;) {
    if (auto chunk = child_->ReadChunk(static_cast<unsigned>(codePage_))) {
      if (Parse(*chunk) != ConsoleProtocol::kNoFinalState) break;  // the package has spoken
    }
    if (exited) {
      // Everything the package wrote before it ended still counts: a
      // "State=Fail" in its last kilobytes must not turn into a success. Only
      // what is already in the pipe, and bounded, so a grandchild that kept
      // the output cannot hold the run.
      int state = ConsoleProtocol::kNoFinalState;
      for (int reads = 0; reads < ChildProcess::kMaxReadsAfterEnd && state == ConsoleProtocol::kNoFinalState; ++reads) {
        const auto more = child_->ReadAvailable(static_cast<unsigned>(codePage_));
        if (!more) break;
        state = Parse(*more);
      }
      // The line the last read left unfinished is the package's last word.
      if (state == ConsoleProtocol::kNoFinalState) {
        const auto rest = child_->TakeRemainder(static_cast<unsigned>(codePage_));
        if (rest) state = Parse(*rest);
      }
      succeeded = state == ConsoleProtocol::kNoFinalState;
      break;
    }
    const DWORD exitCode = child_->ExitCode();
    Sleep(kExitCheckPauseMs);
    exited = exitCode != STILL_ACTIVE;
  }

  // After a final state nobody reads the output any more; keep emptying the
  // pipe so the package can still write while it finishes.
  if (!succeeded) child_->DiscardUntilExit();
  child_->Wait();
  child_->CloseAll();
  child_.reset();
  if (succeeded) Report(IST_CODE_SUCCESS, 1.0);
}
