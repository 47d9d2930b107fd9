#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vqsim {

// Both directions share one layout: FF, sequence, code (command or status),
// length L, L data bytes, and a check byte that is the XOR of all bytes before it.
inline constexpr uint8_t kFrameStart = 0xFF;
inline constexpr size_t kSequenceIndex = 1;
inline constexpr size_t kCodeIndex = 2;
inline constexpr size_t kLengthIndex = 3;
inline constexpr size_t kDataIndex = 4;
inline constexpr size_t kFrameOverhead = 5;  // all bytes but the data
inline constexpr size_t kMaxDataLength = 255;
inline constexpr uint8_t kSequenceModulus = 8;

inline uint8_t XorOf(std::span<const uint8_t> bytes) {
  uint8_t x = 0;
  for (uint8_t b : bytes) x ^= b;
  return x;
}

}  // namespace vqsim
