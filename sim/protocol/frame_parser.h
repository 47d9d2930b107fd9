#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vqsim {

// One command frame as the reader received it from the host:
// FF, sequence, command code, N, N data bytes, check byte.
struct ReceivedFrame {
  std::vector<uint8_t> bytes;                // the whole command frame as received
  std::chrono::steady_clock::time_point at;  // when its last byte arrived
  bool checkByteOk = false;                  // the XOR check byte was right

  uint8_t sequence() const;
  uint8_t command() const;
  std::vector<uint8_t> data() const;
};

// Cuts host command frames out of a byte stream. Bytes before a 0xFF are
// skipped; once a frame has started, its length byte (index 3) says where it
// ends, so a 0xFF inside the data is data. Like a real reader, it forgets a
// started frame when the line stays quiet for longer than the inter-byte
// time-out, so a frame cut off by a host that went away does not swallow the
// next one.
class FrameParser {
 public:
  static constexpr std::chrono::milliseconds kDefaultInterByteTimeout{200};

  explicit FrameParser(std::chrono::milliseconds interByteTimeout = kDefaultInterByteTimeout);

  // Bytes that arrived at `at`; returns the frames they complete, in order.
  std::vector<ReceivedFrame> Feed(std::span<const uint8_t> bytes,
                                  std::chrono::steady_clock::time_point at);

  // Forgets the frame begun so far (its bytes count as thrown away).
  void DropPartialFrame();

  // Bytes thrown away so far: junk outside frames and abandoned partial frames.
  size_t DiscardedBytes() const { return discarded_; }

 private:
  std::chrono::milliseconds interByteTimeout_;
  std::vector<uint8_t> partial_;
  std::chrono::steady_clock::time_point lastByteAt_{};
  size_t discarded_ = 0;
};

}  // namespace vqsim
