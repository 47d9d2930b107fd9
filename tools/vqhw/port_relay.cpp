#include "vqhw/port_relay.h"

#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

namespace vqtool {

PortRelay::PortRelay(const std::string& devicePath, Observer observer)
    : observer_(std::move(observer)),
      device_(vqsim::OpenSerialDevice(devicePath)),
      pty_(vqsim::OpenPtyPair()) {
  // Held as the library holds a port: never a second user of a device another program has.
  if (::flock(device_.get(), LOCK_EX | LOCK_NB) != 0) {
    throw std::system_error(errno, std::generic_category(), "lock " + devicePath);
  }
  thread_ = std::thread([this] { Relay(); });
}

PortRelay::~PortRelay() {
  stop_.Raise();
  thread_.join();
}

void PortRelay::Relay() {
  while (true) {
    std::array<pollfd, 3> fds{{{pty_.master.get(), POLLIN, 0},
                               {device_.get(), POLLIN, 0},
                               {stop_.Fd(), POLLIN, 0}}};
    if (vqsim::PollRetrying(fds, -1) < 0 || fds[2].revents != 0) return;
    if (fds[0].revents != 0 && !Pass(pty_.master.get(), device_.get(), LineDirection::kToReader)) {
      return;
    }
    // A device that went away leaves the library to its time-outs.
    if (fds[1].revents != 0 && !Pass(device_.get(), pty_.master.get(), LineDirection::kToHost)) {
      return;
    }
  }
}

bool PortRelay::Pass(int from, int to, LineDirection direction) {
  std::array<uint8_t, 512> buffer{};
  const ssize_t count = ::read(from, buffer.data(), buffer.size());
  if (count < 0) return errno == EAGAIN || errno == EINTR;
  if (count == 0) return false;
  const std::span<const uint8_t> bytes(buffer.data(), static_cast<size_t>(count));
  observer_(direction, bytes);
  return vqsim::WriteAllUnlessStopped(to, bytes, stop_);
}

}  // namespace vqtool
