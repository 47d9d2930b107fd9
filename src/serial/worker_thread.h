#pragma once
// The thread of the channel's receive worker. What differs between the
// platforms is how it ends: on Windows the library may be unloaded while
// the loader lock is held, where waiting for a thread to exit deadlocks
// (see worker_thread_win32.cpp).

#include <functional>
#include <memory>

namespace vqhw {

class WorkerThread {
 public:
  WorkerThread();
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Runs `body` on a new thread; false when no thread can be started.
  bool Start(std::function<void()> body);

  // Waits until the body has returned; the caller has made it return.
  // Afterwards the thread runs none of the library's code again.
  void Join();

  // In a child made by fork() (POSIX): the thread runs in the parent only,
  // so its handle is let go of, never joined.
  void Abandon();

 private:
  struct Thread;
  std::unique_ptr<Thread> thread_;
};

}  // namespace vqhw
