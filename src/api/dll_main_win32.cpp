// The load and unload hooks of the Windows DLL, which build and tear down
// the library's state.
//
// The state lives in static storage but is built and destroyed here rather
// than as a static object, because the two ways of unloading need different
// things, and the C runtime would run a static destructor for both:
// - FreeLibrary (reserved == NULL): the state is destroyed, so a port the
//   caller left open is closed and its worker stopped; then the trace file
//   is closed. This runs under the loader lock; the channel waits for the
//   worker's loop to end but never for its thread to exit (see
//   serial/worker_thread_win32.cpp).
// - Process exit (reserved != NULL): every other thread is already gone,
//   perhaps in the middle of holding one of our locks. Nothing is waited for
//   or locked: the state is left as it is, and the system closes the port.

#include <windows.h>

#include <new>

#include "api/library_state.h"
#include "util/trace.h"

namespace vqhw {

namespace {
alignas(LibraryState) unsigned char storage[sizeof(LibraryState)];
LibraryState* state = nullptr;
}  // namespace

LibraryState& Library() { return *state; }

}  // namespace vqhw

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID reserved) {
  using vqhw::state;
  if (reason == DLL_PROCESS_ATTACH) {
    try {
      state = new (vqhw::storage) vqhw::LibraryState();
    } catch (const std::bad_alloc&) {
      return FALSE;  // the library is not loaded
    }
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr && state != nullptr) {
    state->~LibraryState();
    state = nullptr;
    vqhw::trace::CloseAtUnload();
  }
  return TRUE;
}
