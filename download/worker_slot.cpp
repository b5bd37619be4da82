#include "download/worker_slot.h"

#include "app/log.h"

namespace Download {

bool WorkerSlot::Launch(void* parameter, std::function<unsigned(void*)> body) {
  std::unique_ptr<Utils::Thread> wait;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return false;
    if (current_ && current_->IsCurrent()) {
      // The previous set-aside worker is an older, different thread.
      wait = std::move(previous_);
      previous_ = std::move(current_);
    } else {
      wait = std::move(current_);
    }
  }
  // Joined outside the lock: the thread we wait for may itself be calling
  // Launch from its callback.
  wait.reset();

  auto thread = std::make_unique<Utils::Thread>(parameter, L"ABDEF", std::move(body));
  if (!thread->Started()) {
    WriteLog(L"thread creation failed:%lu\r\n", GetLastError());
    return false;
  }
  // Resumed before it is stored: the body never touches the slot, and a
  // thread that stays suspended could never be joined.
  if (!thread->Resume()) {
    WriteLog(L"ResumeThread failed:%lu\r\n", GetLastError());
    TerminateThread(thread->Handle(), 1);
    return false;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (closed_) {
    lock.unlock();
    thread.reset();  // closed meanwhile: the body sees its owner stopping
    return false;
  }
  current_ = std::move(thread);
  return true;
}

void WorkerSlot::Close() {
  std::unique_ptr<Utils::Thread> a, b;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    a = std::move(current_);
    b = std::move(previous_);
  }
  a.reset();
  b.reset();
}

}  // namespace Download
