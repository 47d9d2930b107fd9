#include "vqhw/port_relay.h"

#include <array>

#include "sim/hosts/platform/serial_device.h"

namespace vqtool {

PortRelay::PortRelay(const std::string& devicePath, Observer observer)
    : observer_(std::move(observer)), device_(vqsim::io::OpenSerialDevice(devicePath)), pty_(vqsim::io::Pty::Open()) {
  thread_ = std::thread([this] { Relay(); });
}

PortRelay::~PortRelay() {
  stop_.Set();
  thread_.join();
}

void PortRelay::Relay() {
  bool fromLibrary = false;
  while (vqsim::io::WaitInputOnEither(pty_.Master(), device_, stop_, fromLibrary) == vqsim::io::Wake::kReady) {
    // A device that went away leaves the library to its time-outs.
    if (fromLibrary ? !Pass(pty_.Master(), device_, LineDirection::kToReader)
                    : !Pass(device_, pty_.Master(), LineDirection::kToHost)) {
      return;
    }
  }
}

bool PortRelay::Pass(vqsim::io::Stream& from, vqsim::io::Stream& to, LineDirection direction) {
  std::array<uint8_t, 512> buffer{};
  const std::optional<size_t> count = from.Read(buffer);
  if (!count) return false;
  if (*count == 0) return true;
  const std::span<const uint8_t> bytes(buffer.data(), *count);
  observer_(direction, bytes);
  return vqsim::io::WriteAll(to, bytes, stop_);
}

}  // namespace vqtool
