#pragma once
// What every frame on the line shares, and all the serial channel needs to
// cut frames out of it: the start byte, and the length byte that gives the
// frame's size. A frame is
//   FF, sequence (0..7), command code or status byte, N, N data bytes,
//   check byte (XOR of every byte before it, the FF included).

#include <cstddef>
#include <cstdint>

namespace vqhw {

inline constexpr uint8_t kFrameStart = 0xFF;
inline constexpr size_t kFrameBufferSize = 256;
inline constexpr size_t kFrameOverhead = 5;  // FF, sequence, code, length, check

namespace frame {
inline constexpr size_t kLength = 3;
}  // namespace frame

// The size of the frame that starts at `bytes`: its N plus the overhead.
constexpr size_t FrameSize(const uint8_t* bytes) { return bytes[frame::kLength] + kFrameOverhead; }

}  // namespace vqhw
