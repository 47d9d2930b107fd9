#pragma once
// One export at a time in the whole process. Lane programs call the library
// from more than one thread (a UI thread and a timer); the reader, its frame
// buffers and the last status are one, so a second caller waits until the
// first one's call has ended. Uncontended, the lock costs a few tens of
// nanoseconds.

#include <mutex>

namespace vqhw {

std::mutex& ExportMutex();

// Held for the whole of one export call: the first statement of every export
// that touches the library's state.
class ExportCall {
 public:
  ExportCall() : lock_(ExportMutex()) {}

 private:
  std::lock_guard<std::mutex> lock_;
};

}  // namespace vqhw
