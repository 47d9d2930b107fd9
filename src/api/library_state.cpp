#include "api/library_state.h"

namespace vqhw {

// On Windows the load and unload hooks own the state (dll_main_win32.cpp).
#ifndef _WIN32
namespace {
// Constructed when the library is loaded, before any export can run; its
// destructor closes a port the caller left open.
LibraryState state;
}  // namespace

LibraryState& Library() { return state; }
#endif

}  // namespace vqhw
