// Windows: the worker is a plain system thread that never returns into the
// library once its body is done, so that nobody has to wait for it to exit.
//
// Why: FreeLibrary runs the unload hook, and with it Close() of an open
// channel, while it holds the loader lock. An exiting thread needs that lock
// too (for its DLL_THREAD_DETACH calls), so waiting there for the worker to
// exit would deadlock. Waiting for the body to return is safe, as the receive
// loop needs no loader lock. What must not happen is that the thread executes
// the library's code after its image is unmapped, which the unload does right
// after the hook returns.
//
// How: when the body has returned, the thread signals `parked` and starts an
// alertable wait in one kernel call (SignalObjectAndWait), so once Join() sees
// `parked` the thread is inside that wait. Join() then queues ExitThread as an
// APC: the thread leaves the wait straight into ExitThread and runs system
// code only until it is gone, whether or not the library is still mapped.
// The wait is on the thread itself, which is signalled only when it has
// ended: a handle that Join() might close could end the wait early (Wine
// resolves the handles again when a system APC interrupts the wait).
//
// Start() returns only once the thread runs the body: before that, a new
// thread still has to go through DLL_THREAD_ATTACH under the loader lock, and
// an unload in the meantime would leave it to start in an unmapped image.

#include <windows.h>

#include "serial/worker_thread.h"

namespace vqhw {

struct WorkerThread::Thread {
  std::function<void()> body;
  HANDLE handle = nullptr;
  HANDLE running = nullptr;  // set when the body starts
  HANDLE parked = nullptr;   // set when the body has returned

  static DWORD WINAPI Main(void* context) {
    auto* thread = static_cast<Thread*>(context);
    SetEvent(thread->running);
    thread->body();
    SignalObjectAndWait(thread->parked, GetCurrentThread(), INFINITE, TRUE);
    // Only reached if the wait could not start; the APC still ends us here.
    for (;;) SleepEx(INFINITE, TRUE);
  }

  void CloseHandles() {
    for (HANDLE* h : {&handle, &running, &parked}) {
      if (*h != nullptr) CloseHandle(*h);
      *h = nullptr;
    }
  }
};

namespace {

// ExitThread's own address in the system DLL, not the import thunk in this
// image, which is gone once the library is unmapped.
PAPCFUNC ExitThreadAsApc() {
  static const FARPROC exitThread = GetProcAddress(GetModuleHandleA("kernel32.dll"), "ExitThread");
  // ExitThread(DWORD) and an APC routine (ULONG_PTR) take one argument in a
  // register-sized slot with the same calling convention.
  return reinterpret_cast<PAPCFUNC>(reinterpret_cast<void (*)()>(exitThread));
}

}  // namespace

WorkerThread::WorkerThread() : thread_(std::make_unique<Thread>()) {}

WorkerThread::~WorkerThread() { Join(); }

bool WorkerThread::Start(std::function<void()> body) {
  Thread& t = *thread_;
  if (ExitThreadAsApc() == nullptr) return false;
  t.body = std::move(body);
  t.running = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  t.parked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (t.running != nullptr && t.parked != nullptr) {
    t.handle = CreateThread(nullptr, 0, &Thread::Main, &t, 0, nullptr);
  }
  if (t.handle == nullptr) {
    t.CloseHandles();
    return false;
  }
  HANDLE startedOrEnded[] = {t.running, t.handle};
  WaitForMultipleObjects(2, startedOrEnded, FALSE, INFINITE);
  return true;
}

void WorkerThread::Join() {
  Thread& t = *thread_;
  if (t.handle == nullptr) return;
  WaitForSingleObject(t.parked, INFINITE);
  // Should the APC not be queued, the thread stays parked for good: it then
  // holds its stack, but never runs the library's code again.
  QueueUserAPC(ExitThreadAsApc(), t.handle, 0);
  t.CloseHandles();
  t.body = nullptr;
}

}  // namespace vqhw
