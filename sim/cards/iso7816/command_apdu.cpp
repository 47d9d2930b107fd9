#include "sim/cards/iso7816/command_apdu.h"

namespace vqsim {

namespace {
constexpr size_t kHeaderSize = 4;
constexpr size_t kLongestAnswer = 256;  // P3 or Le of 00
}

std::optional<CommandApdu> CommandApdu::Parse(std::span<const uint8_t> bytes) {
  if (bytes.size() < kHeaderSize) return std::nullopt;
  CommandApdu apdu{bytes[0], bytes[1], bytes[2], bytes[3], {}, std::nullopt};
  if (bytes.size() == kHeaderSize) return apdu;
  const size_t p3 = bytes[kHeaderSize];
  if (bytes.size() == kHeaderSize + 1) {
    apdu.le = p3 == 0 ? kLongestAnswer : p3;
    return apdu;
  }
  const size_t dataEnd = kHeaderSize + 1 + p3;
  if (p3 == 0 || bytes.size() < dataEnd || bytes.size() > dataEnd + 1) return std::nullopt;
  apdu.data.assign(bytes.begin() + kHeaderSize + 1, bytes.begin() + static_cast<std::ptrdiff_t>(dataEnd));
  if (bytes.size() == dataEnd + 1) {
    apdu.le = bytes[dataEnd] == 0 ? kLongestAnswer : bytes[dataEnd];
  }
  return apdu;
}

std::vector<uint8_t> ResponseApdu::Bytes() const {
  std::vector<uint8_t> bytes = data;
  bytes.push_back(static_cast<uint8_t>(statusWord >> 8));
  bytes.push_back(static_cast<uint8_t>(statusWord));
  return bytes;
}

}  // namespace vqsim
