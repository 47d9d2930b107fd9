// Opening the port and confirming the reader on it, closing it, and
// changing the line's speed while open.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <thread>

#include "protocol/commands.h"
#include "protocol/reader_link.h"

namespace vqhw {

namespace {

constexpr int32_t kFirstPort = 1;
constexpr int32_t kLastPort = 99;  // the device name has room for two digits
constexpr std::chrono::milliseconds kSettleTime{100};
constexpr std::chrono::milliseconds kLineSpeedSwitchPause{10};

struct SpeedCode {
  int32_t baud;
  uint8_t code;
};
constexpr std::array<SpeedCode, 4> kLineSpeedCodes{{{9600, 1}, {19200, 2}, {38400, 3}, {115200, 4}}};

}  // namespace

ReaderStatus ReaderLink::Open(int32_t portNumber) {
  if (IsOpen()) return status::kAlreadyOpen;
  char deviceName[4096];
  if (portNumber < kFirstPort || portNumber > kLastPort ||
      !FormatPortName(portNumber, deviceName, sizeof deviceName)) {
    return status::kCannotOpen;
  }
  if (channel.Open(deviceName, lineSpeed, 'N', 8, 1) != status::kOk) return status::kCannotOpen;
  std::this_thread::sleep_for(kSettleTime);
  ReaderStatus failure = status::kOk;
  if (Probe() != status::kOk) {
    failure = status::kReaderNotFound;
  } else if (ResetPsam() != status::kOk) {
    failure = status::kNoPsam;
  }
  if (failure != status::kOk) channel.Close();
  return failure;
}

ReaderStatus ReaderLink::Close() {
  if (!IsOpen()) return status::kAlreadyClosed;
  return channel.Close();
}

ReaderStatus ReaderLink::Probe() {
  static constexpr uint8_t kProbeData[] = {0xAA, 0xAA, 0xAA};
  uint8_t response[kFrameBufferSize];
  return Command(command::kProbe, kProbeData, sizeof kProbeData, response);
}

ReaderStatus ReaderLink::ResetPsam() {
  uint8_t response[kFrameBufferSize];
  return Command(command::kPsamReset, nullptr, 0, response);
}

ReaderStatus ReaderLink::ChangeLineSpeed(int32_t baud) {
  const auto* speed = std::find_if(kLineSpeedCodes.begin(), kLineSpeedCodes.end(),
                                   [&](const SpeedCode& s) { return s.baud == baud; });
  if (speed == kLineSpeedCodes.end()) return status::kArgument1;
  if (ReaderStatus refused = CheckFrame(&speed->code, 1)) return refused;
  // The first frame goes out at the old speed and draws no awaited answer,
  // so the sequence number stays; the repeat at the new speed confirms it.
  const ReaderStatus sent = SendFrame(command::kLineSpeed, &speed->code, 1);
  if (sent != status::kOk) return sent;
  std::this_thread::sleep_for(kLineSpeedSwitchPause);
  channel.Configure(baud, 'N', 8, 1);
  channel.Purge();
  uint8_t response[kFrameBufferSize];
  const ReaderStatus confirmed = Attempts(command::kLineSpeed, &speed->code, 1, response);
  lineSpeed = baud;
  return confirmed;
}

}  // namespace vqhw
