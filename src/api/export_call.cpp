#include "api/export_call.h"

namespace vqhw {

std::mutex& ExportMutex() {
  // Constant-initialised: usable before and after every other static.
  static constinit std::mutex mutex;
  return mutex;
}

}  // namespace vqhw
