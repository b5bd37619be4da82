#include "install/child_process.h"

#include <cstring>

#include "app/log.h"
#include "utils/exception.h"
#include "utils/text.h"

namespace {
SECURITY_ATTRIBUTES InheritableAttributes() {
  SECURITY_ATTRIBUTES sa = {};
  sa.nLength = sizeof(sa);
  sa.lpSecurityDescriptor = nullptr;
  sa.bInheritHandle = TRUE;
  return sa;
}

HANDLE OpenNullSink() {
  SECURITY_ATTRIBUTES sa = InheritableAttributes();
  HANDLE h = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    WriteLog(L"CreateFileW(NUL) FAIL code=%lu\r\n", code);
    throw Utils::Exception("", code);
  }
  return h;
}

// A broken pipe is how every child's output ends; anything else is worth a line.
void LogUnexpectedReadFailure(const wchar_t* call) {
  const DWORD code = GetLastError();
  if (code != ERROR_BROKEN_PIPE) WriteLog(L"%s FAIL code=%lu\r\n", call, code);
}

void KeepFromChild(HANDLE h) {
  if (!SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0))
    WriteLog(L"SetHandleInformation FAIL code=%lu\r\n", GetLastError());
}
}  // namespace

PipePair::PipePair() {
  SECURITY_ATTRIBUTES sa = InheritableAttributes();
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &sa, 0)) {
    const DWORD code = GetLastError();
    WriteLog(L"CreatePipe FAIL code=%lu\r\n", code);
    // CreatePipe sets neither end on failure, but whatever it did set is ours.
    if (read) CloseHandle(read);
    if (write) CloseHandle(write);
    throw Utils::Exception("", code);
  }
  readEnd.Reset(read);
  writeEnd.Reset(write);
}

ChildProcess::ChildProcess() : errorSink_(OpenNullSink()) {}

void ChildProcess::Launch(const std::wstring& commandLine) {
  if (commandLine.size() >= kCommandLineCapacity) {
    WriteLog(L"command line of %u characters does not fit\r\n", static_cast<unsigned>(commandLine.size()));
    throw Utils::Exception("", ERROR_FILENAME_EXCED_RANGE);
  }
  std::memset(commandLine_, 0, sizeof(commandLine_));
  commandLine.copy(commandLine_, commandLine.size());

  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  si.hStdInput = inputPipe_.readEnd.Get();
  si.hStdOutput = outputPipe_.writeEnd.Get();
  si.hStdError = errorSink_.Get();

  // Only the child's ends may travel into the child.
  KeepFromChild(outputPipe_.readEnd.Get());
  KeepFromChild(inputPipe_.writeEnd.Get());

  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, commandLine_, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    const DWORD code = GetLastError();
    WriteLog(L"CreateProcessW FAIL code=%lu\r\n", code);
    throw Utils::Exception("", code);
  }
  process_.Reset(pi.hProcess);
  thread_.Reset(pi.hThread);
  processId_ = pi.dwProcessId;
  threadId_ = pi.dwThreadId;

  // From now on only the child holds the write end of its output, so a read
  // fails once the child (and whatever it handed the pipe to) has ended.
  outputPipe_.writeEnd.Reset();
  errorSink_.Reset();
  inputPipe_.readEnd.Reset();
}

std::wstring ChildProcess::TakeCarry(size_t length, unsigned codePage) {
  const std::wstring text = Utils::ToWide(carry_.data(), length, codePage);
  carry_.erase(0, length);
  return text;
}

std::optional<std::wstring> ChildProcess::Read(unsigned codePage, bool block) {
  for (;;) {
    if (!block) {
      DWORD available = 0;
      if (!PeekNamedPipe(outputPipe_.readEnd.Get(), nullptr, 0, nullptr, &available, nullptr)) {
        LogUnexpectedReadFailure(L"PeekNamedPipe");
        return TakeRemainder(codePage);
      }
      if (available == 0) return TakeRemainder(codePage);
    }
    char buffer[kReadSize] = {};
    DWORD got = 0;
    const BOOL ok = ReadFile(outputPipe_.readEnd.Get(), buffer, kReadSize, &got, nullptr);
    if (!ok && got == 0) {
      LogUnexpectedReadFailure(L"ReadFile");
      return TakeRemainder(codePage);
    }

    const size_t length = strnlen(buffer, got);
    carry_.append(buffer, length);
    // A short read is what the child wrote (or ended at a zero byte): it is
    // taken as it stands, an unterminated last line included.
    if (length < kReadSize || carry_.back() == '\n') return TakeCarry(carry_.size(), codePage);

    // The read filled the buffer in the middle of a line: hand over the
    // finished lines and keep the rest for the next read.
    const size_t lastLineFeed = carry_.rfind('\n');
    if (lastLineFeed != std::string::npos) return TakeCarry(lastLineFeed + 1, codePage);
    if (carry_.size() >= kMaxCarry) return TakeCarry(carry_.size(), codePage);
  }
}

std::optional<std::wstring> ChildProcess::ReadChunk(unsigned codePage) { return Read(codePage, true); }

std::optional<std::wstring> ChildProcess::ReadAvailable(unsigned codePage) { return Read(codePage, false); }

std::optional<std::wstring> ChildProcess::TakeRemainder(unsigned codePage) {
  if (carry_.empty()) return std::nullopt;
  return TakeCarry(carry_.size(), codePage);
}

void ChildProcess::DiscardUntilExit() {
  carry_.clear();
  char buffer[kReadSize];
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(outputPipe_.readEnd.Get(), nullptr, 0, nullptr, &available, nullptr)) {
      LogUnexpectedReadFailure(L"PeekNamedPipe");
      return;
    }
    if (available > 0) {
      DWORD got = 0;
      if (!ReadFile(outputPipe_.readEnd.Get(), buffer, sizeof(buffer), &got, nullptr)) {
        LogUnexpectedReadFailure(L"ReadFile");
        return;
      }
      continue;
    }
    // Nothing to take: wake again when the child ends, or shortly to look
    // at the pipe once more.
    if (WaitForSingleObject(process_.Get(), 20) != WAIT_TIMEOUT) return;
  }
}

DWORD ChildProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (!GetExitCodeProcess(process_.Get(), &code)) {
    // Taken as ended: the owner's loop stops and its wait returns at once on
    // a handle that cannot be queried, instead of spinning forever.
    code = GetLastError();
    WriteLog(L"GetExitCodeProcess FAIL code=%lu\r\n", code);
    return code == STILL_ACTIVE ? ERROR_INVALID_HANDLE : code;
  }
  return code;
}

void ChildProcess::Wait() const {
  if (process_ && WaitForSingleObject(process_.Get(), INFINITE) == WAIT_FAILED)
    WriteLog(L"WaitForSingleObject FAIL code=%lu\r\n", GetLastError());
}

void ChildProcess::CloseAll() {
  thread_.Reset();
  process_.Reset();
  inputPipe_.writeEnd.Reset();
  inputPipe_.readEnd.Reset();
  outputPipe_.writeEnd.Reset();
  outputPipe_.readEnd.Reset();
  errorSink_.Reset();
}
