#include "api/export_call.h"

namespace vqhw {

std::mutex& ExportMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace vqhw
