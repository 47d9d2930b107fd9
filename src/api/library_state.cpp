#include "api/library_state.h"

namespace vqhw {

namespace {
// Constructed when the library is loaded, before any export can run; its
// destructor closes a port the caller left open.
LibraryState state;
}  // namespace

LibraryState& Library() { return state; }

}  // namespace vqhw
