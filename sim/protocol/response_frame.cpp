#include "sim/protocol/response_frame.h"

#include "sim/protocol/frame_layout.h"

namespace vqsim {

std::vector<uint8_t> EncodeResponse(uint8_t sequence, uint8_t status, std::span<const uint8_t> data,
                                    std::optional<uint8_t> announcedLength) {
  std::vector<uint8_t> frame;
  frame.reserve(data.size() + 5);
  for (uint8_t header : {kFrameStart, sequence, status,
                         announcedLength.value_or(static_cast<uint8_t>(data.size()))}) {
    frame.push_back(header);
  }
  frame.insert(frame.end(), data.begin(), data.end());
  frame.push_back(XorOf(frame));
  return frame;
}

}  // namespace vqsim
