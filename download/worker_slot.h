#pragma once
// The worker thread of a downloader's latest Start. A new Start waits for the
// previous worker to end; when Start is called from that very worker (the
// retry requested from inside the callback), the worker is set aside and
// joined later instead, because a thread cannot wait for itself.
#include <functional>
#include <memory>
#include <mutex>

#include "utils/thread.h"

namespace Download {

class WorkerSlot {
 public:
  WorkerSlot() = default;
  ~WorkerSlot() { Close(); }
  WorkerSlot(const WorkerSlot&) = delete;
  WorkerSlot& operator=(const WorkerSlot&) = delete;

  // Starts `body(parameter)` on a new thread named "ABDEF". False after
  // Close() or when the system refused the thread.
  bool Launch(void* parameter, std::function<unsigned(void*)> body);
  // Refuses further launches and waits for every worker but the calling one.
  void Close();

 private:
  std::mutex mutex_;
  bool closed_ = false;                    // guarded by mutex_
  std::unique_ptr<Utils::Thread> current_;   // guarded by mutex_
  std::unique_ptr<Utils::Thread> previous_;  // guarded by mutex_
};

}  // namespace Download
