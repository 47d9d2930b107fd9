#include "sim/response_frame.h"

#include "sim/frame_layout.h"

namespace vqsim {

std::vector<uint8_t> EncodeResponse(uint8_t sequence, uint8_t status, std::span<const uint8_t> data,
                                    std::optional<uint8_t> announcedLength) {
  std::vector<uint8_t> frame{kFrameStart, sequence, status,
                             announcedLength.value_or(static_cast<uint8_t>(data.size()))};
  frame.insert(frame.end(), data.begin(), data.end());
  frame.push_back(XorOf(frame));
  return frame;
}

}  // namespace vqsim
