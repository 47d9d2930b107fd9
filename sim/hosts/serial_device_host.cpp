#include "sim/hosts/serial_device_host.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace vqsim {

SerialDeviceHost::SerialDeviceHost(VirtualReader& reader, const std::string& devicePath,
                                   TrafficLog log, LineLost lost)
    : reader_(reader),
      log_(std::move(log)),
      lost_(std::move(lost)),
      device_(OpenSerialDevice(devicePath)) {
  thread_ = std::thread([this] { Serve(); });
}

SerialDeviceHost::~SerialDeviceHost() {
  stop_.Raise();
  thread_.join();
}

void SerialDeviceHost::Serve() {
  std::array<uint8_t, 1024> buffer{};
  while (true) {
    std::array<pollfd, 2> fds{{{device_.get(), POLLIN, 0}, {stop_.Fd(), POLLIN, 0}}};
    if (PollRetrying(fds, -1) < 0 || fds[1].revents != 0) return;
    if (fds[0].revents == 0) continue;

    const ssize_t count = ::read(device_.get(), buffer.data(), buffer.size());
    // A device that reports readiness but gives nothing, or an error, is gone.
    if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR)) {
      if (lost_) lost_();
      return;
    }
    if (count < 0) continue;
    const std::span<const uint8_t> received(buffer.data(), static_cast<size_t>(count));
    if (log_) log_(PtyHost::Direction::kFromHost, received);

    // The device's own wire paces the bytes; the card's time is waited out here.
    for (const AnswerChunk& chunk : reader_.Receive(received)) {
      const auto cardLeft =
          std::chrono::ceil<std::chrono::milliseconds>(chunk.notBefore - std::chrono::steady_clock::now());
      if (!PauseUnlessStopped(std::max(cardLeft, std::chrono::milliseconds{0}) + chunk.pauseBefore, stop_) ||
          !WriteAllUnlessStopped(device_.get(), chunk.bytes, stop_)) {
        return;
      }
      if (log_) log_(PtyHost::Direction::kToHost, chunk.bytes);
    }
  }
}

}  // namespace vqsim
