#include "protocol/reader_control.h"

#include "protocol/commands.h"

namespace vqhw {

namespace {

bool IsMmiValue(int32_t value, int32_t highest) {
  return value == 0 || (value >= 0x80 && value <= highest);
}

// The second line's codes: 1 for 9600, 2 for 38400, 0 for a speed it lacks.
uint8_t SecondLineSpeedCode(int32_t baud) {
  return baud == 9600 ? 1 : baud == 38400 ? 2 : 0;
}

}  // namespace

ReaderStatus ReaderControl::ResetRfField() {
  uint8_t response[kFrameBufferSize];
  return link.Command(command::kRfFieldReset, nullptr, 0, response);
}

ReaderStatus ReaderControl::ResetProCard() {
  uint8_t response[kFrameBufferSize];
  return link.Command(command::kProCardReset, nullptr, 0, response);
}

ReaderStatus ReaderControl::SetMmi(int32_t first, int32_t second, int32_t third) {
  if (!IsMmiValue(first, 0x82)) return status::kArgument1;
  if (!IsMmiValue(second, 0x83)) return status::kArgument2;
  if (!IsMmiValue(third, 0x83)) return status::kArgument3;
  const uint8_t data[] = {static_cast<uint8_t>(first), static_cast<uint8_t>(second),
                          static_cast<uint8_t>(third)};
  uint8_t response[kFrameBufferSize];
  return link.Command(command::kMmi, data, sizeof data, response);
}

ReaderStatus ReaderControl::SetSecondLineSpeed(int32_t baud) {
  const uint8_t code = SecondLineSpeedCode(baud);
  if (code == 0) return status::kArgument1;
  uint8_t response[kFrameBufferSize];
  return link.Command(command::kSecondLineSpeed, &code, 1, response);
}

}  // namespace vqhw
