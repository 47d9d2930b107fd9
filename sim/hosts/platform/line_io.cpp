#include "sim/hosts/platform/line_io.h"

namespace vqsim::io {

bool WriteAll(Stream& stream, std::span<const uint8_t> bytes, const Event& event) {
  while (!bytes.empty()) {
    const std::optional<size_t> written = stream.Write(bytes);
    if (!written) return true;
    if (*written > 0) {
      bytes = bytes.subspan(*written);
      continue;
    }
    if (stream.WaitRoom(std::nullopt, event) == Wake::kEvent) return false;
  }
  return true;
}

}  // namespace vqsim::io
