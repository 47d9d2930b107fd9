#pragma once
// Turns the bytes of the line into whole response frames. A frame is known
// only by its leading FF and its length byte (index 3): it is complete at
// length + 5 bytes. Bytes before an FF are dropped; an FF inside a frame is
// data. Assembly starts over at 250 bytes, so a frame announcing 246 data
// bytes or more is never completed and every store stays in the buffer.

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/frame_layout.h"

namespace vqhw {

class FrameAssembler {
 public:
  static constexpr size_t kRestartIndex = 250;

  // Adds one byte; returns true when it completed a frame, which Frame()
  // then holds until the next byte arrives.
  bool Push(uint8_t byte);

  // Forgets the frame being assembled and clears the buffer.
  void Reset();

  const uint8_t* Frame() const { return buffer_.data(); }
  size_t FrameSize() const { return vqhw::FrameSize(buffer_.data()); }
  size_t PendingBytes() const { return index_; }

 private:
  std::array<uint8_t, kFrameBufferSize> buffer_{};
  size_t index_ = 0;
};

}  // namespace vqhw
