#pragma once
// Every worker thread of the installer. The thread is created suspended and
// named for debuggers; its creator stores the object where the work can find
// it and then calls Resume(). "THREAD BEGIN"/"THREAD END" frame the work in the
// log. Join() and destruction wait for the work to return.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "utils/handle.h"

namespace Utils {

class Thread {
 public:
  using Function = std::function<unsigned(void*)>;

  // Names in use: "UnInstaller" for the old version's removal, "ABDEF" for
  // every other worker. An empty name becomes "t<thread id>".
  Thread(void* parameter, std::wstring name, Function function);
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  bool Started() const { return handle_.Valid(); }  // false when the system refused
  HANDLE Handle() const { return handle_.Get(); }
  unsigned Id() const { return id_; }
  bool Resume();
  // Waits for the end and closes the handle. Called on the thread itself it
  // cannot wait: it only lets the handle go.
  void Join();
  bool IsCurrent() const { return id_ == GetCurrentThreadId(); }

  static unsigned __stdcall CallBack(void* thread);

  // Creates the thread and resumes it at once, for owners that keep it in a
  // member before the work looks for it. A thread the system refused, or
  // could not resume, is logged with the system's error code; the returned
  // object is then not Started() and its work never runs.
  static std::unique_ptr<Thread> Launch(void* parameter, std::wstring name, Function function);

 private:
  unsigned id_ = 0xFFFFFFFFu;
  UniqueHandle handle_;
  Function function_;
  void* parameter_ = nullptr;
  std::wstring name_;
};

// Gives a thread its debugger name: the classic naming exception, caught by a
// vectored handler so it only informs an attached debugger, and
// SetThreadDescription where the system has it.
void SetThreadDebugName(unsigned threadId, HANDLE thread, const std::wstring& name);

}  // namespace Utils
