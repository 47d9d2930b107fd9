#include <system_error>
#include <thread>

#include "serial/worker_thread.h"

namespace vqhw {

struct WorkerThread::Thread {
  std::thread thread;
};

WorkerThread::WorkerThread() : thread_(std::make_unique<Thread>()) {}

WorkerThread::~WorkerThread() { Join(); }

bool WorkerThread::Start(std::function<void()> body) {
  try {
    thread_->thread = std::thread(std::move(body));
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void WorkerThread::Abandon() {
  if (thread_->thread.joinable()) thread_->thread.detach();
}

void WorkerThread::Join() {
  if (thread_->thread.joinable()) thread_->thread.join();
}

}  // namespace vqhw
