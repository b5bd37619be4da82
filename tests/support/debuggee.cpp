#include "tests/support/debuggee.h"

#include "utils/handle.h"

namespace TestSupport {
namespace {
constexpr DWORD kNameThreadException = 0x406D1388;

template <class T>
bool ReadRemote(HANDLE process, const void* address, T* out, size_t count) {
  SIZE_T got = 0;
  return ReadProcessMemory(process, address, out, sizeof(T) * count, &got) && got == sizeof(T) * count;
}

std::wstring ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  const size_t length = info.nDebugStringLength;  // characters, terminator included
  if (length == 0) return {};
  if (info.fUnicode) {
    std::wstring s(length, L'\0');
    if (!ReadRemote(process, info.lpDebugStringData, s.data(), length)) return {};
    s.resize(wcsnlen(s.c_str(), length));
    return s;
  }
  std::string s(length, '\0');
  if (!ReadRemote(process, info.lpDebugStringData, s.data(), length)) return {};
  s.resize(strnlen(s.c_str(), length));
  const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string ReadRemoteAnsi(HANDLE process, const void* address) {
  std::string out;
  char c = 0;
  for (size_t i = 0; i < 1024; ++i) {
    if (!ReadRemote(process, static_cast<const char*>(address) + i, &c, 1) || c == 0) break;
    out += c;
  }
  return out;
}
}  // namespace

DebugRun RunUnderDebugger(const std::wstring& commandLine, DWORD timeoutMs, const wchar_t* workingDir) {
  DebugRun run;
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  std::wstring cmd = commandLine;
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, workingDir,
                      &si, &pi))
    return run;
  Utils::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  run.started = true;
  run.processId = pi.dwProcessId;

  const DWORD deadline = GetTickCount() + timeoutMs;
  bool finished = false;
  while (!finished) {
    const DWORD now = GetTickCount();
    if (static_cast<LONG>(deadline - now) <= 0) {
      run.timedOut = true;
      TerminateProcess(process.Get(), 0xDEAD);
      DebugActiveProcessStop(pi.dwProcessId);
      break;
    }
    DEBUG_EVENT ev = {};
    if (!WaitForDebugEvent(&ev, deadline - now)) continue;
    DWORD status = DBG_CONTINUE;
    switch (ev.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        run.threadsCreated.push_back(ev.dwThreadId);
        if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
        break;
      case CREATE_THREAD_DEBUG_EVENT:
        run.threadsCreated.push_back(ev.dwThreadId);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT:
        run.strings.push_back({ev.dwThreadId, ReadDebugString(process.Get(), ev.u.DebugString)});
        break;
      case EXCEPTION_DEBUG_EVENT: {
        const EXCEPTION_RECORD& rec = ev.u.Exception.ExceptionRecord;
        if (rec.ExceptionCode == kNameThreadException && rec.NumberParameters >= 3) {
          ThreadName n;
          n.name = ReadRemoteAnsi(process.Get(), reinterpret_cast<const void*>(rec.ExceptionInformation[1]));
          n.threadId = static_cast<DWORD>(rec.ExceptionInformation[2]);
          run.threadNames.push_back(n);
        }
        // Breakpoints belong to the debugger; everything else goes back to the
        // program's own handlers.
        if (rec.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        run.exitCode = ev.u.ExitProcess.dwExitCode;
        finished = true;
        break;
      default:
        break;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
  }
  WaitForSingleObject(process.Get(), 5000);
  return run;
}

}  // namespace TestSupport
