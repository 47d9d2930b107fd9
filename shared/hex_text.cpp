#include "shared/hex_text.h"

namespace vqshared {

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::vector<uint8_t>> DecodeHex(std::string_view text) {
  std::vector<uint8_t> bytes;
  int high = -1;  // the first digit of a pair, while its partner is awaited
  for (char c : text) {
    const int value = DigitValue(c);
    if (value >= 0) {
      if (high < 0) {
        high = value;
      } else {
        bytes.push_back(static_cast<uint8_t>(high << 4 | value));
        high = -1;
      }
    } else if ((c != ' ' && c != ':') || high >= 0) {
      return std::nullopt;
    }
  }
  if (high >= 0) return std::nullopt;
  return bytes;
}

std::string EncodeHex(std::span<const uint8_t> bytes, std::string_view separator) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * (2 + separator.size()));
  for (uint8_t b : bytes) {
    if (!text.empty()) text += separator;
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

}  // namespace vqshared
