// Windows: the worker runs as a long callback of the system thread pool, so
// that stopping it never means waiting for a thread to exit.
//
// Why: FreeLibrary runs the unload hook, and with it Close() of an open
// channel, while it holds the loader lock. An exiting thread needs that lock
// too (for its DLL_THREAD_DETACH calls), so waiting there for a worker thread
// to exit would deadlock; and not waiting at all would let the thread run the
// library's last instructions after its image is unmapped.
//
// How: Join() waits for the `finished` event, which the pool sets itself
// (SetEventWhenCallbackReturns) once the body has returned into the pool's
// own code. From then on the pool thread runs none of the library's code, and
// nothing waits for it to exit. Waiting for the body is safe under the loader
// lock, as the receive loop needs no loader lock.
//
// Start() returns only once the body runs: a pool thread that is still being
// created needs the loader lock for its DLL_THREAD_ATTACH, and an unload in
// the meantime would leave the callback to start in an unmapped image.

#include <windows.h>

#include "serial/worker_thread.h"

namespace vqhw {

struct WorkerThread::Thread {
  std::function<void()> body;
  HANDLE running = nullptr;   // set when the body starts
  HANDLE finished = nullptr;  // set by the pool when the body has returned
  bool started = false;

  static void CALLBACK Main(PTP_CALLBACK_INSTANCE instance, void* context) {
    auto* thread = static_cast<Thread*>(context);
    CallbackMayRunLong(instance);  // it runs for as long as the port is open
    SetEventWhenCallbackReturns(instance, thread->finished);
    SetEvent(thread->running);
    thread->body();
  }

  void CloseHandles() {
    for (HANDLE* h : {&running, &finished}) {
      if (*h != nullptr) CloseHandle(*h);
      *h = nullptr;
    }
  }
};

WorkerThread::WorkerThread() : thread_(std::make_unique<Thread>()) {}

WorkerThread::~WorkerThread() { Join(); }

bool WorkerThread::Start(std::function<void()> body) {
  Thread& t = *thread_;
  t.body = std::move(body);
  t.running = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  t.finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  t.started = t.running != nullptr && t.finished != nullptr &&
              TrySubmitThreadpoolCallback(&Thread::Main, &t, nullptr);
  if (!t.started) {
    t.CloseHandles();
    return false;
  }
  WaitForSingleObject(t.running, INFINITE);
  return true;
}

void WorkerThread::Join() {
  Thread& t = *thread_;
  if (!t.started) return;
  WaitForSingleObject(t.finished, INFINITE);
  t.started = false;
  t.CloseHandles();
  t.body = nullptr;
}

}  // namespace vqhw
