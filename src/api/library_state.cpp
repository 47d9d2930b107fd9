#include "api/library_state.h"

#ifndef _WIN32
#include <pthread.h>

#include "api/export_call.h"
#include "util/trace.h"
#endif

namespace vqhw {

// On Windows the load and unload hooks own the state (dll_main_win32.cpp).
#ifndef _WIN32
namespace {
// Closes the trace file when the library is unloaded. Defined before the
// state, so destroyed after it: closing a port the caller left open is
// still recorded.
struct TraceCloser {
  ~TraceCloser() { trace::CloseAtUnload(); }
} traceCloser;

// Constructed when the library is loaded, before any export can run; its
// destructor closes a port the caller left open.
LibraryState state;

// fork() waits for an export in progress to end, so the child's copy of the
// state is whole. A child forked while the reader was open does not share
// the parent's connection: there the reader reads as closed (the reader
// exports answer as on a closed reader, the last status not open) and the
// child, exiting or closing, never touches the parent's port or worker.
void BeforeFork() {
  ExportMutex().lock();
  state.device.link.Channel().BeforeFork();
}
void AfterForkInParent() {
  state.device.link.Channel().AfterForkInParent();
  ExportMutex().unlock();
}
void AfterForkInChild() {
  state.device.link.Channel().AfterForkInChild();
  ExportMutex().unlock();
}
// After the state, so that the handlers never see it unbuilt.
[[maybe_unused]] const int forkHandlers =
    pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild);
}  // namespace

LibraryState& Library() { return state; }
#endif

}  // namespace vqhw
