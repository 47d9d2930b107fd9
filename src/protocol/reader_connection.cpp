#include <chrono>
#include <cstdint>
#include <thread>

#include "protocol/commands.h"
#include "protocol/reader_device.h"

namespace vqhw {

namespace {
constexpr int64_t kFirstPort = 1;
constexpr int64_t kLastPort = 99;  // the device name has room for two digits
constexpr std::chrono::milliseconds kSettleTime{100};
}  // namespace

ReaderStatus ReaderDevice::Open(int32_t portIndex) {
  if (isOpen) return status::kAlreadyOpen;
  const int64_t portNumber = int64_t{portIndex} + 1;
  char deviceName[4096];
  if (portNumber < kFirstPort || portNumber > kLastPort ||
      !FormatPortName(static_cast<int32_t>(portNumber), deviceName, sizeof deviceName)) {
    return status::kCannotOpen;
  }
  if (channel.Open(deviceName, baudRate, 'N', 8, 1) != status::kOk) return status::kCannotOpen;
  isOpen = 1;
  std::this_thread::sleep_for(kSettleTime);
  ReaderStatus failure = status::kOk;
  if (Probe() != status::kOk) {
    failure = status::kReaderNotFound;
  } else if (ResetPsam() != status::kOk) {
    failure = status::kNoPsam;
  }
  if (failure != status::kOk) {
    isOpen = 0;
    channel.Close();
  }
  return failure;
}

ReaderStatus ReaderDevice::Close() {
  if (!isOpen) return status::kAlreadyClosed;
  ReaderStatus closed = channel.Close();
  if (closed == status::kOk) isOpen = 0;
  return closed;
}

ReaderStatus ReaderDevice::Probe() {
  static constexpr uint8_t kProbeData[] = {0xAA, 0xAA, 0xAA};
  uint8_t response[kFrameBufferSize];
  return Command(command::kProbe, kProbeData, sizeof kProbeData, response);
}

ReaderStatus ReaderDevice::ResetPsam() {
  uint8_t response[kFrameBufferSize];
  return Command(command::kPsamReset, nullptr, 0, response);
}

int32_t ReaderDevice::BaudRate() const { return isOpen ? baudRate : 0; }

}  // namespace vqhw
