#include "api/export_call.h"

#include <atomic>

namespace vqhw {

namespace {

// Whether this thread is inside an export, from before it asks for the lock
// until after it gave it back. Only its own thread (and that thread's signal
// handlers) reads or writes it. On ELF the library reserves the flag at load
// time (initial-exec), so that reading it in a handler never allocates, as
// the first use of a dynamically allocated thread-local might.
#if defined(__ELF__)
[[gnu::tls_model("initial-exec")]]
#endif
thread_local bool insideExport = false;

}  // namespace

std::mutex& ExportMutex() {
  static std::mutex mutex;
  return mutex;
}

ExportCall::ExportCall() : refused_(insideExport) {
  if (refused_) return;
  insideExport = true;
  // A handler that runs from here on sees the flag set.
  std::atomic_signal_fence(std::memory_order_seq_cst);
  ExportMutex().lock();
}

ExportCall::~ExportCall() {
  if (refused_) return;
  ExportMutex().unlock();
  std::atomic_signal_fence(std::memory_order_seq_cst);
  insideExport = false;
}

}  // namespace vqhw
