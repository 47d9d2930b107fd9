#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/hosts/platform/unique_fd.h"

namespace vqsim::testing {

// A command frame built independently of the reader's parser: FF, sequence,
// command, N, data, XOR check byte.
std::vector<uint8_t> CommandFrame(uint8_t sequence, uint8_t command, std::vector<uint8_t> data = {});

// The host side of the line: a raw descriptor on the pty slave.
class PtyClient {
 public:
  struct Arrival {
    std::vector<uint8_t> bytes;
    std::chrono::steady_clock::time_point at;
  };

  explicit PtyClient(const std::string& slavePath);

  // Writes the bytes; returns the time just before the write, which no
  // answer's time on the line can start before.
  std::chrono::steady_clock::time_point Write(const std::vector<uint8_t>& bytes);
  // Reads until `expected` bytes have come or `window` has passed, one entry per read.
  std::vector<Arrival> ReadArrivals(size_t expected, std::chrono::milliseconds window);
  // The same, as one byte string.
  std::vector<uint8_t> Read(size_t expected, std::chrono::milliseconds window);
  int fd() const { return fd_.get(); }

 private:
  io::UniqueFd fd_;
};

}  // namespace vqsim::testing
