// The reader's own commands: field and card resets, the operator display
// and sound, line speeds, and the card-kind setting.

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "protocol/commands.h"
#include "protocol/reader_device.h"

namespace vqhw {

namespace {

constexpr uint8_t kMifareOneAnswerToRequest = 0x04;
constexpr std::chrono::milliseconds kLineSpeedSwitchPause{10};

struct SpeedCode {
  int32_t baud;
  uint8_t code;
};
constexpr std::array<SpeedCode, 4> kLineSpeedCodes{{{9600, 1}, {19200, 2}, {38400, 3}, {115200, 4}}};
constexpr std::array<SpeedCode, 2> kSecondLineSpeedCodes{{{9600, 1}, {38400, 2}}};

template <size_t N>
const SpeedCode* FindSpeed(const std::array<SpeedCode, N>& table, int32_t baud) {
  const auto* row = std::find_if(table.begin(), table.end(),
                                 [&](const SpeedCode& s) { return s.baud == baud; });
  return row == table.end() ? nullptr : row;
}

bool IsMmiValue(int32_t value, int32_t highest) {
  return value == 0 || (value >= 0x80 && value <= highest);
}

}  // namespace

ReaderStatus ReaderDevice::ResetRfField() {
  uint8_t response[kFrameBufferSize];
  return Command(command::kRfFieldReset, nullptr, 0, response);
}

ReaderStatus ReaderDevice::ResetProCard() {
  uint8_t response[kFrameBufferSize];
  return Command(command::kProCardReset, nullptr, 0, response);
}

ReaderStatus ReaderDevice::SetMmi(int32_t first, int32_t second, int32_t third) {
  if (!IsMmiValue(first, 0x82)) return status::kArgument1;
  if (!IsMmiValue(second, 0x83)) return status::kArgument2;
  if (!IsMmiValue(third, 0x83)) return status::kArgument3;
  const uint8_t data[] = {static_cast<uint8_t>(first), static_cast<uint8_t>(second),
                          static_cast<uint8_t>(third)};
  uint8_t response[kFrameBufferSize];
  return Command(command::kMmi, data, sizeof data, response);
}

ReaderStatus ReaderDevice::SetCardKind(int32_t kindCharacter) {
  const uint8_t kind = static_cast<uint8_t>(static_cast<uint8_t>(kindCharacter) - '0');
  if (kind > kBothKinds) return status::kArgument1;
  cardKindSetting = kind;
  return status::kOk;
}

ReaderStatus ReaderDevice::Request(int32_t mode, uint8_t* answer) {
  if (answer == nullptr) return status::kArgument2;
  const uint8_t data[] = {static_cast<uint8_t>(mode)};
  uint8_t response[kFrameBufferSize];
  ReaderStatus result = Command(command::kRequest, data, sizeof data, response);
  if (result != status::kOk) return result;
  answer[0] = response[frame::kData];
  answer[1] = response[frame::kData + 1];
  detectedCardKind = answer[0] == kMifareOneAnswerToRequest ? kMifareOne : kMifarePro;
  return status::kOk;
}

ReaderStatus ReaderDevice::ChangeLineSpeed(int32_t baud) {
  const SpeedCode* speed = FindSpeed(kLineSpeedCodes, baud);
  if (speed == nullptr) return status::kArgument1;
  // The first frame goes out at the old speed and draws no awaited answer,
  // so the sequence number stays; the repeat at the new speed confirms it.
  ReaderStatus sent = SendFrame(command::kLineSpeed, &speed->code, 1);
  if (sent != status::kOk) return sent;
  std::this_thread::sleep_for(kLineSpeedSwitchPause);
  channel.Configure(baud, 'N', 8, 1);
  channel.Purge();
  uint8_t response[kFrameBufferSize];
  ReaderStatus confirmed = Transact(command::kLineSpeed, &speed->code, 1, response);
  baudRate = baud;
  return confirmed;
}

ReaderStatus ReaderDevice::SetSecondLineSpeed(int32_t baud) {
  const SpeedCode* speed = FindSpeed(kSecondLineSpeedCodes, baud);
  if (speed == nullptr) return status::kArgument1;
  uint8_t response[kFrameBufferSize];
  return Command(command::kSecondLineSpeed, &speed->code, 1, response);
}

ReaderStatus ReaderDevice::CheckCardKind() const {
  if (cardKindSetting != kBothKinds && detectedCardKind != cardKindSetting) {
    return status::kCardKindRefused;
  }
  return status::kOk;
}

}  // namespace vqhw
