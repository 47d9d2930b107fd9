#pragma once
// Command and response frames on the serial line:
//   FF, sequence (0..7), command code or status byte, N, N data bytes,
//   check byte (XOR of every byte before it, the FF included).

#include <cstddef>
#include <cstdint>

namespace vqhw {

inline constexpr uint8_t kFrameStart = 0xFF;
inline constexpr size_t kFrameBufferSize = 256;
inline constexpr size_t kFrameOverhead = 5;        // FF, sequence, code, length, check
inline constexpr int32_t kMaxCommandData = 251;    // N + 5 must fit the 256-byte buffer
inline constexpr size_t kSequenceModulus = 8;

namespace frame {
inline constexpr size_t kSequence = 1;
inline constexpr size_t kCode = 2;  // command code, or status byte of an answer
inline constexpr size_t kLength = 3;
inline constexpr size_t kData = 4;
}  // namespace frame

uint8_t CheckByte(const uint8_t* bytes, size_t count);

// Writes the command frame into `out` (count + 5 bytes) and returns its size.
// `count` must be at most kMaxCommandData.
size_t BuildCommandFrame(uint8_t sequence, uint8_t command, const uint8_t* data, size_t count,
                         uint8_t* out);

}  // namespace vqhw
