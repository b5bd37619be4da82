#include "utils/thread.h"

#include <process.h>

#include "app/log.h"
#include "utils/text.h"

namespace Utils {
namespace {
constexpr DWORD kNameThreadException = 0x406D1388;

// MinGW has no __try/__except. A vectored handler sees the exception after
// an attached debugger had its first chance, which is exactly the order the
// classic catch-all filter gives.
LONG CALLBACK SwallowNamingException(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode == kNameThreadException) return EXCEPTION_CONTINUE_EXECUTION;
  return EXCEPTION_CONTINUE_SEARCH;
}

#pragma pack(push, 8)
struct ThreadNameInfo {
  DWORD type = 0x1000;
  LPCSTR name = nullptr;
  DWORD threadId = 0;
  DWORD flags = 0;
};
#pragma pack(pop)
}  // namespace

void SetThreadDebugName(unsigned threadId, HANDLE thread, const std::wstring& name) {
  const std::wstring wide = name.empty() ? L"t" + std::to_wstring(threadId) : name;
  const std::string narrow = ToNarrow(wide, kActiveCodePage);

  ThreadNameInfo info;
  info.name = narrow.c_str();
  info.threadId = threadId;
  if (PVOID handler = AddVectoredExceptionHandler(1, SwallowNamingException)) {
    RaiseException(kNameThreadException, 0, sizeof(info) / sizeof(ULONG_PTR),
                   reinterpret_cast<const ULONG_PTR*>(&info));
    RemoveVectoredExceptionHandler(handler);
  }

  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto setDescription = reinterpret_cast<SetDescription>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (setDescription && thread) setDescription(thread, wide.c_str());
}

Thread::Thread(void* parameter, std::wstring name, Function function)
    : function_(std::move(function)), parameter_(parameter), name_(std::move(name)) {
  unsigned id = 0;
  const uintptr_t h = _beginthreadex(nullptr, 0, &Thread::CallBack, this, CREATE_SUSPENDED, &id);
  if (h == 0) return;
  handle_.Reset(reinterpret_cast<HANDLE>(h));
  id_ = id;
  SetThreadDebugName(id_, handle_.Get(), name_);
}

Thread::~Thread() {
  Join();
  name_.clear();
  function_ = nullptr;
}

std::unique_ptr<Thread> Thread::Launch(void* parameter, std::wstring name, Function function) {
  auto thread = std::make_unique<Thread>(parameter, std::move(name), std::move(function));
  if (!thread->Started()) {
    WriteLog(L"worker thread not created, code=%lu\r\n", GetLastError());
  } else if (!thread->Resume()) {
    WriteLog(L"ResumeThread FAIL code=%lu\r\n", GetLastError());
    // Never resumed, the work cannot end by itself: end the thread so that
    // joining it does not wait for ever.
    TerminateThread(thread->Handle(), 0);
    thread->Join();
  }
  return thread;
}

bool Thread::Resume() { return handle_ && ResumeThread(handle_.Get()) != static_cast<DWORD>(-1); }

void Thread::Join() {
  if (!handle_) return;
  if (!IsCurrent()) WaitForSingleObject(handle_.Get(), INFINITE);
  handle_.Reset();
  id_ = 0xFFFFFFFFu;
}

unsigned __stdcall Thread::CallBack(void* thread) {
  auto* self = static_cast<Thread*>(thread);
  WriteLog(L"THREAD BEGIN\r\n");
  if (self->function_) self->function_(self->parameter_);
  WriteLog(L"THREAD END\r\n");
  _endthreadex(0);
  return 0;
}

}  // namespace Utils
