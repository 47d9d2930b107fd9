#pragma once
// One export at a time in the whole process. Lane programs call the library
// from more than one thread (a UI thread and a timer); the reader, its frame
// buffers and the last status are one, so a second caller waits until the
// first one's call has ended. Uncontended, the lock costs a few tens of
// nanoseconds.
//
// A call from a signal handler that interrupted an export of the same
// thread cannot wait: the call it would wait for is the one it interrupted.
// It would run in the middle of that call, on the same link and buffers, or
// wait on the lock for ever. Such a call is refused at once. The test reads
// a flag of the calling thread and takes no lock, so it is safe in a signal
// handler.

#include <mutex>

namespace vqhw {

std::mutex& ExportMutex();

// Held for the whole of one export call: the first statement of every export
// that touches the library's state, followed by
//   if (call.Refused()) return status::kBusyInThisThread;
class ExportCall {
 public:
  ExportCall();
  ~ExportCall();
  ExportCall(const ExportCall&) = delete;
  ExportCall& operator=(const ExportCall&) = delete;

  // This thread is already inside an export (a signal handler interrupted
  // it, perhaps while it waited for the lock): the lock was not taken, and
  // the call must touch nothing of the library's state.
  bool Refused() const { return refused_; }

 private:
  bool refused_;
};

}  // namespace vqhw
