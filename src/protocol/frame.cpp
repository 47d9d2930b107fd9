#include "protocol/frame.h"

#include <cstring>

namespace vqhw {

uint8_t CheckByte(const uint8_t* bytes, size_t count) {
  uint8_t check = 0;
  for (size_t i = 0; i < count; ++i) check ^= bytes[i];
  return check;
}

bool HasRightCheckByte(const uint8_t* frame) {
  const size_t checked = FrameSize(frame) - 1;
  return CheckByte(frame, checked) == frame[checked];
}

size_t BuildCommandFrame(uint8_t sequence, uint8_t command, const uint8_t* data, size_t count,
                         uint8_t* out) {
  out[0] = kFrameStart;
  out[frame::kSequence] = sequence;
  out[frame::kCode] = command;
  out[frame::kLength] = static_cast<uint8_t>(count);
  if (count > 0) std::memcpy(out + frame::kData, data, count);
  out[frame::kData + count] = CheckByte(out, frame::kData + count);
  return count + kFrameOverhead;
}

}  // namespace vqhw
