#include "install/uninstaller.h"

#include <shlwapi.h>

#include <exception>

#include "app/log.h"
#include "install/console_protocol.h"
#include "utils/probes.h"

namespace {
const wchar_t* Flag(bool on) { return on ? L"true" : L"false"; }
}  // namespace

UnInstaller::UnInstaller(StageCallback callback, std::wstring uninstallerPath, std::wstring oldInstallFolder)
    : callback_(std::move(callback)),
      uninstallerPath_(std::move(uninstallerPath)),
      oldInstallFolder_(std::move(oldInstallFolder)) {}

UnInstaller::~UnInstaller() { thread_.reset(); }

std::wstring UnInstaller::BuildCommandLine() const {
  std::wstring consoleUser;
  Utils::GetConsoleUserName(consoleUser);
  const bool consoleUserAdmin = Utils::IsUserAccountAdmin(consoleUser);
  const bool processAdmin = Utils::IsAdministratorsMember();

  // Built whole rather than into the fixed buffer: a line that does not fit
  // is refused by the launch and reported as a failed start, never cut.
  std::wstring line = uninstallerPath_;
  line += L" /S -adminact=";
  line += Flag(consoleUserAdmin);
  line += L" -authorizationact=";
  line += Flag(processAdmin);
  line += L" -console=show _?=";
  line += oldInstallFolder_;
  return line;
}

void UnInstaller::Start() {
  thread_.reset();
  commandLine_ = BuildCommandLine();
  thread_ = Utils::Thread::Launch(this, L"UnInstaller", [](void* self) -> unsigned {
    static_cast<UnInstaller*>(self)->Run();
    return 0;
  });
}

void UnInstaller::Report(int32_t code, double value, const wchar_t* text) {
  if (callback_) callback_(code, value, text);
}

void UnInstaller::Run() {
  if (!PathFileExistsW(uninstallerPath_.c_str())) {
    Report(UNIST_CODE_FAIL, 1.0, kMsgUninstallerMissing);
    return;
  }
  Report(UNIST_CODE_PROGRESS, 0.0);

  child_.reset();
  try {
    child_ = std::make_unique<ChildProcess>();
    child_->Launch(commandLine_);
  } catch (const std::exception&) {
    child_.reset();
    Report(UNIST_CODE_FAIL, 2.0);
    return;
  }

  bool succeeded = true;
  const auto parse = [&](const std::wstring& chunk) {
    if (Parse(chunk) != ConsoleProtocol::kNoFinalState) succeeded = false;
  };
  while (child_->ExitCode() == STILL_ACTIVE) {
    if (auto chunk = child_->ReadChunk(static_cast<unsigned>(codePage_))) {
      parse(*chunk);
    } else {
      child_->Wait();  // output closed but still running: nothing to read until it ends
    }
  }
  // What the uninstaller wrote just before it ended is still in the pipe; a
  // "State=Fail" there must not turn into a success.
  // Bounded: a grandchild that inherited the output and keeps writing must
  // not keep this run alive.
  for (int reads = 0; reads < ChildProcess::kMaxReadsAfterEnd; ++reads) {
    auto chunk = child_->ReadAvailable(static_cast<unsigned>(codePage_));
    if (!chunk) break;
    parse(*chunk);
  }

  child_->Wait();
  child_->CloseAll();
  child_.reset();
  if (succeeded) Report(UNIST_CODE_SUCCESS, 1.0);
}
