// The virtual reader's command frame parser on any byte stream cut into
// chunks at any times: each frame it returns is FF, sequence, code, N, N data
// bytes and a check byte, is exactly the last bytes fed, and its check flag
// tells the truth; no byte is both in a frame and discarded.
// The stream: pairs of (chunk length, gap in 10 ms steps), then the chunk.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

#include "fuzz_check.h"
#include "sim/protocol/frame_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vqsim::FrameParser parser;
  auto at = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  std::deque<uint8_t> recent;
  size_t fed = 0;
  size_t framed = 0;
  size_t i = 0;
  while (i + 2 <= size) {
    const size_t chunk = std::min<size_t>(data[i] % 64 + 1, size - i - 2);
    at += std::chrono::milliseconds(10 * data[i + 1]);
    i += 2;
    for (size_t k = 0; k < chunk; ++k, ++i) {
      // One byte at a time at the chunk's time: the same as the chunk at once.
      recent.push_back(data[i]);
      if (recent.size() > 260) recent.pop_front();
      ++fed;
      for (const auto& frame : parser.Feed(std::span<const uint8_t>(data + i, 1), at)) {
        const auto& bytes = frame.bytes;
        FUZZ_CHECK(bytes.size() >= 5 && bytes[0] == 0xFF);
        FUZZ_CHECK(bytes.size() == bytes[3] + size_t{5});
        FUZZ_CHECK(frame.data().size() == bytes[3]);
        FUZZ_CHECK(recent.size() >= bytes.size());
        for (size_t b = 0; b < bytes.size(); ++b) {
          FUZZ_CHECK(bytes[b] == recent[recent.size() - bytes.size() + b]);
        }
        uint8_t x = 0;
        for (uint8_t b : bytes) x ^= b;
        FUZZ_CHECK(frame.checkByteOk == (x == 0));
        framed += bytes.size();
      }
      FUZZ_CHECK(framed + parser.DiscardedBytes() <= fed);
      FUZZ_CHECK(fed - framed - parser.DiscardedBytes() < 260);  // at most one frame pending
    }
  }
  return 0;
}
