#pragma once
// Command frames as the library builds them; the layout every frame shares
// is in base/frame_layout.h.

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/frame_layout.h"

namespace vqhw {

inline constexpr int32_t kMaxCommandData = 251;    // N + 5 must fit the 256-byte buffer
inline constexpr size_t kSequenceModulus = 8;

namespace frame {
inline constexpr size_t kSequence = 1;
inline constexpr size_t kCode = 2;  // command code, or status byte of an answer
inline constexpr size_t kData = 4;
}  // namespace frame

// The L data bytes of the answer in a response buffer.
inline std::span<const uint8_t> ResponseData(const uint8_t* response) {
  return {response + frame::kData, response[frame::kLength]};
}

uint8_t CheckByte(const uint8_t* bytes, size_t count);

// Whether the last byte of the frame at `frame` is the exclusive-or of
// every byte before it, as the reader computes it.
bool HasRightCheckByte(const uint8_t* frame);

// Writes the command frame into `out` (count + 5 bytes) and returns its size.
// `count` must be at most kMaxCommandData.
size_t BuildCommandFrame(uint8_t sequence, uint8_t command, const uint8_t* data, size_t count,
                         uint8_t* out);

}  // namespace vqhw
