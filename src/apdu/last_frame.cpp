// The copy of the last frame each way, for diagnosis.

#include <algorithm>
#include <cstring>

#include "apdu/apdu_channels.h"

namespace vqhw {

int32_t apdu::CopyFrame(const uint8_t* buffer, uint8_t* out) {
  // The frame and the zero byte behind it; a frame of 251 data bytes fills
  // the whole buffer and has none.
  const size_t copied = std::min(FrameSize(buffer) + 1, kFrameBufferSize);
  std::memset(out, 0, std::min(copied + 1, kFrameBufferSize));
  std::memcpy(out, buffer, copied);
  return static_cast<int32_t>(copied);
}

int32_t ApduChannels::CopyLastFrame(int32_t which, uint8_t* out) const {
  if (which != 0 && which != 1) return status::kArgument1;
  if (out == nullptr) return status::kArgument2;
  return apdu::CopyFrame(which == 0 ? link.LastCommandFrame() : link.LastResponseFrame(), out);
}

}  // namespace vqhw
