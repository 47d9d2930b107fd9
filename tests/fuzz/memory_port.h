#pragma once
// A serial port in memory, for tests only: it stands behind the platform
// interface (serial/port.h) in place of a serial device, and a test
// decides what the "reader" answers to every frame the library writes.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace vqhw::memory_port {

// Gives the bytes the reader answers to a frame just written (none: silence).
using Answerer = std::function<std::vector<uint8_t>(std::span<const uint8_t> written)>;

// Replaces the reader behind every port opened from now on and the one open now.
void SetAnswerer(Answerer answerer);

}  // namespace vqhw::memory_port
