#include "serial/frame_assembler.h"

namespace vqhw {

bool FrameAssembler::Push(uint8_t byte) {
  if (index_ == 0 && byte != kFrameStart) return false;  // hunting for a frame start
  buffer_[index_++] = byte;
  bool complete = false;
  if (index_ > frame::kLength && index_ >= FrameSize()) {
    index_ = 0;
    complete = true;
  }
  if (index_ >= kRestartIndex) index_ = 0;
  return complete;
}

void FrameAssembler::Reset() {
  buffer_.fill(0);
  index_ = 0;
}

}  // namespace vqhw
