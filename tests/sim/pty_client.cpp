#include "pty_client.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vqsim::testing {

std::vector<uint8_t> CommandFrame(uint8_t sequence, uint8_t command, std::vector<uint8_t> data) {
  std::vector<uint8_t> frame{0xFF, sequence, command, static_cast<uint8_t>(data.size())};
  frame.insert(frame.end(), data.begin(), data.end());
  uint8_t check = 0;
  for (uint8_t b : frame) check ^= b;
  frame.push_back(check);
  return frame;
}

PtyClient::PtyClient(const std::string& slavePath)
    : fd_(::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
  if (!fd_) throw std::system_error(errno, std::generic_category(), "open " + slavePath);
  termios settings{};
  ::tcgetattr(fd_.get(), &settings);
  ::cfmakeraw(&settings);
  ::tcsetattr(fd_.get(), TCSANOW, &settings);
}

std::chrono::steady_clock::time_point PtyClient::Write(const std::vector<uint8_t>& bytes) {
  const auto start = std::chrono::steady_clock::now();
  if (::write(fd_.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::system_error(errno, std::generic_category(), "write to pty");
  }
  return start;
}

std::vector<PtyClient::Arrival> PtyClient::ReadArrivals(size_t expected, std::chrono::milliseconds window) {
  const auto deadline = std::chrono::steady_clock::now() + window;
  std::vector<Arrival> arrivals;
  size_t total = 0;
  while (total < expected) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd pfd{fd_.get(), POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
    uint8_t buffer[4096];
    const ssize_t count = ::read(fd_.get(), buffer, sizeof buffer);
    if (count <= 0) continue;
    arrivals.push_back({{buffer, buffer + count}, std::chrono::steady_clock::now()});
    total += static_cast<size_t>(count);
  }
  return arrivals;
}

std::vector<uint8_t> PtyClient::Read(size_t expected, std::chrono::milliseconds window) {
  std::vector<uint8_t> bytes;
  for (const Arrival& arrival : ReadArrivals(expected, window)) {
    bytes.insert(bytes.end(), arrival.bytes.begin(), arrival.bytes.end());
  }
  return bytes;
}

}  // namespace vqsim::testing
