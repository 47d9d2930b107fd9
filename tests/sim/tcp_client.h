#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/hosts/platform/unique_fd.h"

namespace vqsim::testing {

// A lane calling a virtual reader's TCP port (socket://HOST:PORT or
// rfc2217://HOST:PORT, this machine's address), with Nagle's delay off so
// that every write goes out as it is made.
class TcpClient {
 public:
  explicit TcpClient(const std::string& url);  // throws std::system_error

  bool Connected() const { return static_cast<bool>(fd_); }
  void Write(const std::vector<uint8_t>& bytes);
  // Reads until `expected` bytes have come, the window has passed or the
  // reader closed the connection.
  std::vector<uint8_t> Read(size_t expected, std::chrono::milliseconds window);
  // Whether the far end closed the connection within the window (what
  // came before is dropped).
  bool ClosedWithin(std::chrono::milliseconds window);
  void Close() { fd_ = io::UniqueFd(); }

 private:
  io::UniqueFd fd_;
};

// The port of a URL's HOST:PORT.
uint16_t PortOf(const std::string& url);

}  // namespace vqsim::testing
