// The response frame assembler on any byte stream: a completed frame is
// always inside its buffer, starts with FF, has the size its length byte
// gives, and is exactly the last bytes pushed; nothing pending ever reaches
// the restart index. Byte 0 of the input, when odd, resets the assembler
// half-way, as a purge before a command does.

#include <cstddef>
#include <cstdint>
#include <deque>

#include "fuzz_check.h"
#include "serial/frame_assembler.h"

namespace {
constexpr size_t kBufferSize = 256;
constexpr size_t kLongestFrame = vqhw::FrameAssembler::kRestartIndex;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool resetHalfWay = (data[0] & 1) != 0;
  vqhw::FrameAssembler assembler;
  std::deque<uint8_t> recent;  // the bytes pushed lately, newest last
  for (size_t i = 1; i < size; ++i) {
    if (resetHalfWay && i == size / 2) {
      assembler.Reset();
      FUZZ_CHECK(assembler.PendingBytes() == 0);
    }
    recent.push_back(data[i]);
    if (recent.size() > kLongestFrame) recent.pop_front();
    const size_t pendingBefore = assembler.PendingBytes();
    const bool complete = assembler.Push(data[i]);
    FUZZ_CHECK(assembler.PendingBytes() < kLongestFrame);
    if (!complete) {
      // A byte either joins the frame, starts one, or is junk dropped before a start.
      FUZZ_CHECK(assembler.PendingBytes() == pendingBefore + 1 ||
                 assembler.PendingBytes() == 0);
      continue;
    }
    FUZZ_CHECK(assembler.PendingBytes() == 0);
    const size_t frameSize = assembler.FrameSize();
    FUZZ_CHECK(frameSize <= kLongestFrame && frameSize <= kBufferSize);
    FUZZ_CHECK(frameSize == pendingBefore + 1);
    const uint8_t* frame = assembler.Frame();
    FUZZ_CHECK(frame[0] == 0xFF);
    FUZZ_CHECK(frame[3] + size_t{5} == frameSize);
    FUZZ_CHECK(recent.size() >= frameSize);
    for (size_t k = 0; k < frameSize; ++k) {
      FUZZ_CHECK(frame[k] == recent[recent.size() - frameSize + k]);
    }
  }
  return 0;
}
